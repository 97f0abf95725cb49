#include "control/EngineProgressSource.h"

#include "control/DialogSettings.h"
#include "engine/FileListDownloader.h"

namespace pullbay::control {

EngineProgressSource::EngineProgressSource(const model::PropertyHolder& settings,
                                           std::weak_ptr<engine::FileListDownloader> pEngine)
    : m_pSettings(&settings), m_pEngine(std::move(pEngine))
{
}

void EngineProgressSource::Detach()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (m_pSettings != nullptr) {
        m_lastTexts = Texts();
        m_lastTimeTexts = TimeTexts();
        m_uintLastBarColor = BarBackgroundColor();
        m_pSettings = nullptr;
    }
    m_pEngine.reset();
}

ui::ProgressTexts EngineProgressSource::Texts() const
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return m_pSettings != nullptr ? DialogSettings::ProgressTexts(*m_pSettings) : m_lastTexts;
}

ui::ProgressTimeTexts EngineProgressSource::TimeTexts() const
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return m_pSettings != nullptr ? DialogSettings::ProgressTimeTexts(*m_pSettings)
                                  : m_lastTimeTexts;
}

ui::ProgressEngineState EngineProgressSource::State() const
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return DialogSettings::EngineState(m_pEngine.lock());
}

std::uint32_t EngineProgressSource::BarBackgroundColor() const
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    return m_pSettings != nullptr ? m_pSettings->GetBackgroundColor() : m_uintLastBarColor;
}

void EngineProgressSource::SkipCurrent()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (const auto pEngine = m_pEngine.lock()) {
        pEngine->SkipCurrent();
    }
}

void EngineProgressSource::SkipAll()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (const auto pEngine = m_pEngine.lock()) {
        pEngine->SkipAll();
    }
}

}  // namespace pullbay::control
