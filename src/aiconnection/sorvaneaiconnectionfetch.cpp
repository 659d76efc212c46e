// The run of the tools' connection command, apart from the decoder so the decoder builds without
// the bridge (the fuzz build compiles only decoders).
#include "sorvaneaiconnectionconfiguration.h"

#include "foundation/bridge/bridge.h"
#include "foundation/bridge/bridgecommand.h"

QCoro::Task<SorvaneAIConnectionConfiguration> SorvaneAIConnectionConfiguration::fetch(QUrl storageFolder, QString toolsFolder,
                                                                                      CancellationToken cancel)
{
    const QByteArray answer = co_await Bridge::data(BridgeCommand::mcpConnection(storageFolder), toolsFolder, cancel);
    SorvaneAIConnectionConfiguration decoded = decode(answer);
    co_return SorvaneAIConnectionConfiguration(decoded);
}
