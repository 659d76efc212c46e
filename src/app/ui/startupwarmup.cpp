#include "startupwarmup.h"

#include "foundation/besidethread.h"
#include "foundation/localization.h"
#include "foundation/shortwait.h"
#include "workspace/ui/workspacesymbols.h"

#include <QFontDatabase>
#include <system_error>

StartupWarmUp::StartupWarmUp(std::function<void()> waitForFonts)
    : m_waitForFonts(std::move(waitForFonts))
{
    // Settled here: the language reads the settings store and the resources
    // ask the application object, both the GUI thread's; the thread gets values.
    const QString language = EditorLocalization::language();
    EditorLocalization::resources();
    try {
        m_thread = startBeside([this, language] { run(language); });
        m_running = true;
    } catch (const std::system_error &) {
        m_running = false; // the GUI thread does it all itself
    }
}

StartupWarmUp::~StartupWarmUp()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_running)
        m_thread.join();
    WorkspaceSymbols::drawAhead(nullptr);
}

void StartupWarmUp::waitForFonts()
{
    if (!m_running) {
        if (m_waitForFonts)
            std::exchange(m_waitForFonts, {})();
        return;
    }
    waitShortly(m_mutex, m_changed, [this] { return m_fontsRead; });
    if (std::exchange(m_handedOver, true))
        return;
    // Reads the application's font and palette.
    auto glyphs = std::make_shared<WorkspaceSymbols::GlyphsAhead>(WorkspaceSymbols::openingSymbols());
    WorkspaceSymbols::drawAhead(glyphs);
    {
        const std::lock_guard lock(m_mutex);
        m_glyphs = std::move(glyphs);
    }
    m_changed.notify_all();
}

// In the order the GUI thread needs them: the first loc() comes while the
// models are built, text once the font configuration is read.
void StartupWarmUp::run(const QString &language)
{
    EditorLocalization::tableLoaded(language);
    if (const auto wait = std::exchange(m_waitForFonts, {}))
        wait();
    {
        const std::lock_guard lock(m_mutex);
        m_fontsRead = true;
    }
    m_changed.notify_all();
    QFontDatabase::families();
    std::shared_ptr<WorkspaceSymbols::GlyphsAhead> glyphs;
    waitShortly(m_mutex, m_changed, [this] { return m_glyphs || m_stopping; });
    {
        const std::lock_guard lock(m_mutex);
        glyphs = m_glyphs;
    }
    if (glyphs)
        glyphs->draw();
}
