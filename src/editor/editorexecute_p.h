#pragma once

// EditorModel::execute, for the sources of this folder that run tool
// commands: only they need the whole command type and the worker decoding.

#include "editormodel.h"
#include "foundation/bridge/bridgecommand.h"
#include "foundation/decoding/workerdecoding.h"

template<typename T>
QCoro::Task<T> EditorModel::execute(BridgeCommand command, CancellationToken token, bool checkStorage)
{
    QByteArray bytes = co_await runTool(std::move(command), token, checkStorage);
    if (bytes.size() < WorkerDecoding::threshold)
        co_return T::decode(bytes);
    // A large answer (a package context, a hand-off) is decoded on a worker
    // thread; a cancelled or superseded operation drops it here, on this thread.
    // Named, not a temporary of the co_await expression: GCC 12 destroys such
    // temporaries twice (the answer's buffer with them). Moved, so that the
    // worker holds the only reference and frees the buffer there.
    auto decode = [bytes = std::move(bytes)] { return T::decode(bytes); };
    QCoro::Task<T> decoding = WorkerDecoding::run<T>(std::move(decode));
    T decoded = co_await decoding;
    token.throwIfCancelled();
    co_return T(std::move(decoded));
}
