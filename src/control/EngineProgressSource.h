#pragma once
// What the progress dialog pulls at each tick, read from the control's
// settings and the running engine. Holds the engine weakly: the dialog never
// keeps the engine alive, and once it has gone the source reports it ended.
// GUI thread only.
#include <memory>

#include "core/ThreadAffinity.h"
#include "model/PropertyHolder.h"
#include "pullbay/IDialogPresenter.h"

namespace pullbay::engine {
class FileListDownloader;
}

namespace pullbay::control {

class EngineProgressSource final : public api::IProgressSource {
public:
    // settings is read until Detach; a presenter may keep the source longer
    // and then reads the texts as they were at the run's end.
    EngineProgressSource(const model::PropertyHolder& settings,
                         std::weak_ptr<engine::FileListDownloader> pEngine);

    ui::ProgressTexts Texts() const override;
    ui::ProgressTimeTexts TimeTexts() const override;
    ui::ProgressEngineState State() const override;
    std::uint32_t BarBackgroundColor() const override;
    void SkipCurrent() override;
    void SkipAll() override;

    // The run ended: the source lets go of the settings and the engine, and
    // reports the engine ended.
    void Detach();

private:
    const core::ThreadAffinity m_guiThread;
    const model::PropertyHolder* m_pSettings;
    std::weak_ptr<engine::FileListDownloader> m_pEngine;
    ui::ProgressTexts m_lastTexts;
    ui::ProgressTimeTexts m_lastTimeTexts;
    std::uint32_t m_uintLastBarColor = 0x00FFFFFF;
};

}  // namespace pullbay::control
