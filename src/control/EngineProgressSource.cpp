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
    if (m_pSettings != nullptr) {
        m_lastTexts = Texts();
        m_lastTimeTexts = TimeTexts();
        m_pSettings = nullptr;
    }
    m_pEngine.reset();
}

ui::ProgressTexts EngineProgressSource::Texts() const
{
    return m_pSettings != nullptr ? DialogSettings::ProgressTexts(*m_pSettings) : m_lastTexts;
}

ui::ProgressTimeTexts EngineProgressSource::TimeTexts() const
{
    return m_pSettings != nullptr ? DialogSettings::ProgressTimeTexts(*m_pSettings) : m_lastTimeTexts;
}

ui::ProgressEngineState EngineProgressSource::State() const
{
    return DialogSettings::EngineState(m_pEngine.lock());
}

void EngineProgressSource::SkipCurrent()
{
    if (const auto pEngine = m_pEngine.lock()) {
        pEngine->SkipCurrent();
    }
}

void EngineProgressSource::SkipAll()
{
    if (const auto pEngine = m_pEngine.lock()) {
        pEngine->SkipAll();
    }
}

}  // namespace pullbay::control
