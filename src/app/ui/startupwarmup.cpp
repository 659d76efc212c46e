#include "startupwarmup.h"

#include "foundation/besidethread.h"
#include "foundation/localization.h"
#include "foundation/logging.h"
#include "foundation/shortwait.h"
#include "foundation/ui/symbols.h"

#include <QFontDatabase>
#include <system_error>

StartupWarmUp::StartupWarmUp(std::function<void()> waitForFonts)
    : m_waitForFonts(std::move(waitForFonts))
{
    // Settled here: the language reads the settings store and the resources
    // ask the application object, both the GUI thread's; the thread gets values.
    const QString language = EditorLocalization::language();
    EditorLocalization::resources();
    // The pen (the application's font and palette) is read here: reading it
    // asks fontconfig nothing, only text does (a font engine, the database).
    auto glyphs = std::make_shared<Symbols::GlyphsAhead>(Symbols::openingSymbols());
    try {
        m_thread = startBeside([this, language, glyphs] { run(language, *glyphs); });
        m_running = true;
    } catch (const std::system_error &) {
        logFailure(lcApp, "starting the start-up warm-up thread");
        m_running = false; // the GUI thread does it all itself
    }
    if (m_running)
        Symbols::drawAhead(std::move(glyphs));
}

StartupWarmUp::~StartupWarmUp()
{
    m_stopping.store(true); // no pictures, if not begun: no window will take them
    if (m_running)
        m_thread.join();
    Symbols::drawAhead(nullptr);
}

void StartupWarmUp::waitForFonts()
{
    if (!m_running) {
        if (m_waitForFonts)
            std::exchange(m_waitForFonts, {})();
        return;
    }
    waitShortly(m_fontsRead);
}

// In the order the GUI thread needs them: the first loc() comes while the
// models are built, text once the font configuration is read, the pictures
// when the window first paints.
void StartupWarmUp::run(const QString &language, Symbols::GlyphsAhead &glyphs)
{
    EditorLocalization::tableLoaded(language);
    if (const auto wait = std::exchange(m_waitForFonts, {}))
        wait();
    m_fontsRead.store(true);
    m_fontsRead.notify_all();
    QFontDatabase::families();
    if (!m_stopping.load())
        glyphs.draw();
}
