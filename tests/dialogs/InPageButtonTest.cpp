// The control's face in its page, offscreen: the button on the window, its
// relabelling geometry, Enabled and the run's own disabling, the background
// around the button, and the picture drawn before any window exists.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <optional>

#include "control/PolicyPresenter.h"
#include "control/Pullbay.h"
#include "model/PropertyTable.h"
#include "platform/com/Variant.h"

namespace pullbay::test {
namespace {

using com::NullableString;
using com::Variant;

HRESULT Put(control::Pullbay& control, com::DISPID dispid, Variant value)
{
    return control.PutProperty(dispid, value);
}

bool EnabledProperty(const control::Pullbay& control)
{
    Variant value;
    EXPECT_EQ(control.GetProperty(model::PropertyTable::kDispidEnabled, value), S_OK);
    return value.Bool();
}

TEST(InPageButtonTest, CoversTheWindowThenRelabelsToItsTextCentred)
{
    QWidget window;
    window.resize(201, 81);
    control::Pullbay control;
    ASSERT_EQ(Put(control, model::PropertyTable::kDispidButtonDownloadText,
                  Variant::FromString(NullableString(L"Get the files"))),
              S_OK);
    control.OnWindowCreated(&window);
    QPushButton* pButton = control.Button();
    ASSERT_NE(pButton, nullptr);
    EXPECT_EQ(pButton->text(), QStringLiteral("Get the files"));
    EXPECT_EQ(pButton->geometry(), QRect(0, 0, 201, 81)) << "made over the whole window";

    ASSERT_EQ(Put(control, model::PropertyTable::kDispidButtonDownloadText,
                  Variant::FromString(NullableString(L"Start"))),
              S_OK);
    const QSize text =
        QFontMetrics(pButton->font()).size(Qt::TextSingleLine, QStringLiteral("Start"));
    const QRect expected((201 - (text.width() + 14)) / 2, (81 - (text.height() + 10)) / 2,
                         text.width() + 14, text.height() + 10);
    EXPECT_EQ(pButton->text(), QStringLiteral("Start"));
    EXPECT_EQ(pButton->geometry(), expected);

    window.resize(400, 300);
    QApplication::processEvents();
    EXPECT_EQ(pButton->geometry(), expected) << "a resize of the control leaves the button";
    control.OnWindowDestroyed();
    EXPECT_EQ(control.Button(), nullptr);
}

TEST(InPageButtonTest, EnabledAndARunningDownloadDisableTheButton)
{
    // The confirmation looks at the button while the run is on.
    struct Watching : control::PolicyPresenter {
        control::Pullbay* pControl = nullptr;
        std::optional<bool> bButtonEnabled;
        std::optional<bool> bEnabledProperty;
        api::ConfirmationAnswer ConfirmDownload(const api::ConfirmationRequest& request) override
        {
            bButtonEnabled = pControl->Button()->isEnabled();
            bEnabledProperty = EnabledProperty(*pControl);
            return {false, std::vector<bool>(request.rows.size(), true)};
        }
    };
    QWidget window;
    window.resize(120, 40);
    control::Pullbay control;
    auto pPresenter = std::make_shared<Watching>();
    pPresenter->pControl = &control;
    control.SetPresenter(pPresenter);
    control.OnWindowCreated(&window);
    QPushButton* pButton = control.Button();
    ASSERT_NE(pButton, nullptr);

    ASSERT_EQ(Put(control, model::PropertyTable::kDispidEnabled, Variant::FromBool(false)), S_OK);
    EXPECT_FALSE(pButton->isEnabled());
    std::int32_t intIndex = 0;
    ASSERT_EQ(control.DownloadFileAdd(NullableString(L"*/*"), 1, NullableString(L"a.txt"),
                                      NullableString(L"http://127.0.0.1:9/a.txt"), &intIndex),
              S_OK);
    EXPECT_EQ(control.Download(), S_OK);
    EXPECT_FALSE(pPresenter->bButtonEnabled.has_value()) << "Download does nothing while disabled";
    EXPECT_EQ(control.IsIdle(), true);

    ASSERT_EQ(Put(control, model::PropertyTable::kDispidEnabled, Variant::FromBool(true)), S_OK);
    ASSERT_TRUE(pButton->isEnabled());
    QTest::mouseClick(pButton, Qt::LeftButton);
    // The click's run starts from the event loop, once the click has returned.
    QTRY_VERIFY_WITH_TIMEOUT(pPresenter->bButtonEnabled.has_value(), 10000);
    EXPECT_FALSE(*pPresenter->bButtonEnabled) << "the button is disabled during its run";
    EXPECT_FALSE(*pPresenter->bEnabledProperty) << "Enabled reads false during a run";
    QTRY_VERIFY_WITH_TIMEOUT(control.IsIdle(), 10000);
    EXPECT_TRUE(pButton->isEnabled()) << "enabled again after the run";
    EXPECT_TRUE(EnabledProperty(control));
    control.OnWindowDestroyed();
}

TEST(InPageButtonTest, TheBackgroundColourSurroundsTheButton)
{
    QWidget window;
    window.resize(160, 60);
    control::Pullbay control;
    ASSERT_EQ(Put(control, model::PropertyTable::kDispidBackgroundColor,
                  Variant::FromString(NullableString(L"springgreen"))),
              S_OK);
    control.OnWindowCreated(&window);
    ASSERT_EQ(Put(control, model::PropertyTable::kDispidButtonDownloadText,
                  Variant::FromString(NullableString(L"Go"))),
              S_OK);
    const QImage picture = window.grab().toImage();
    EXPECT_EQ(picture.pixelColor(1, 1), QColor(0x00, 0xFF, 0x7F));
    EXPECT_EQ(picture.pixelColor(158, 58), QColor(0x00, 0xFF, 0x7F));
    const QPoint centre = control.Button()->geometry().center();
    EXPECT_NE(picture.pixelColor(centre.x(), control.Button()->geometry().top() + 2),
              QColor(0x00, 0xFF, 0x7F))
        << "the button itself is drawn over the background";
    control.OnWindowDestroyed();
}

TEST(InPageButtonTest, DrawsAFrameWithTheTitleBeforeItsWindowExists)
{
    control::Pullbay control;
    ASSERT_EQ(Put(control, model::PropertyTable::kDispidBackgroundColor,
                  Variant::FromString(NullableString(L"#ff0000"))),
              S_OK);
    QImage design(240, 90, QImage::Format_RGB32);
    design.fill(Qt::gray);
    {
        QPainter painter(&design);
        control.Draw(painter, design.rect());
    }
    // The frame runs along the bounds' edges; inside it the picture is white
    // but for the title's dark pixels around the centre.
    for (const QPoint corner : {QPoint(0, 0), QPoint(239, 0), QPoint(0, 89), QPoint(239, 89)}) {
        EXPECT_EQ(design.pixelColor(corner), QColor(Qt::black)) << corner.x() << "," << corner.y();
    }
    EXPECT_EQ(design.pixelColor(5, 5), QColor(Qt::white));
    int intDarkNearCentre = 0;
    int intDarkElsewhere = 0;
    for (int y = 2; y < 88; ++y) {
        for (int x = 2; x < 238; ++x) {
            if (design.pixelColor(x, y).lightness() < 128) {
                const bool bCentreBand = y > 30 && y < 60;
                (bCentreBand ? intDarkNearCentre : intDarkElsewhere) += 1;
            }
        }
    }
    EXPECT_GT(intDarkNearCentre, 20) << "the title is written in the middle";
    EXPECT_EQ(intDarkElsewhere, 0);

    QWidget window;
    window.resize(240, 90);
    control.OnWindowCreated(&window);
    QImage live(240, 90, QImage::Format_RGB32);
    live.fill(Qt::gray);
    {
        QPainter painter(&live);
        control.Draw(painter, live.rect());
    }
    EXPECT_EQ(live.pixelColor(0, 0), QColor(Qt::red)) << "once the window exists: the background";
    EXPECT_EQ(live.pixelColor(120, 45), QColor(Qt::red));
    control.OnWindowDestroyed();
}

}  // namespace
}  // namespace pullbay::test
