// The Settings page on its own: the mouse wheel changes a value only when
// its widget has the focus, and otherwise scrolls the page; the themed
// controls show their arrows and ticks.
#include "core/game_profile.h"
#include "core/launcher_session.h"
#include "core/launcher_settings.h"
#include "core/settings_table.h"
#include "test_support.h"
#include "window/settings_page.h"
#include "window/theme.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStyleOptionButton>
#include <QWheelEvent>

#include <memory>

using namespace testing_support;

namespace {

constexpr int kNotch = 120; // one step of a mouse wheel

// What a value widget shows, whatever its kind.
QVariant shownValue(const QWidget* widget)
{
    if (const auto* combo = qobject_cast<const QComboBox*>(widget))
        return combo->currentIndex();
    if (const auto* check = qobject_cast<const QCheckBox*>(widget))
        return check->isChecked();
    if (const auto* spin = qobject_cast<const QAbstractSpinBox*>(widget))
        return spin->text();
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
        return edit->text();
    qFatal("unexpected value widget %s", widget->metaObject()->className());
}

// One notch of the wheel over the middle of widget, delivered to it as Qt
// delivers the wheel to the widget under the pointer. Positive turns away
// from the user (up).
void turnWheel(QWidget* widget, int delta)
{
    const QPointF middle = QRectF(widget->rect()).center();
    QWheelEvent event(middle, widget->mapToGlobal(middle), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

// One notch towards the side the widget's value can still move to: down the
// list or up the range, unless it stands at the end already.
int notchThatChanges(const QWidget* widget)
{
    if (const auto* combo = qobject_cast<const QComboBox*>(widget))
        return combo->currentIndex() + 1 < combo->count() ? -kNotch : kNotch;
    if (const auto* spin = qobject_cast<const QSpinBox*>(widget))
        return spin->value() < spin->maximum() ? kNotch : -kNotch;
    const auto* decimal = qobject_cast<const QDoubleSpinBox*>(widget);
    return decimal && decimal->value() >= decimal->maximum() ? -kNotch : kNotch;
}

// The visible settings whose widgets step their value by the wheel.
QStringList wheelSteppedKeys()
{
    QStringList keys;
    for (const settings_table::Setting& setting : settings_table::settings()) {
        if (setting.visible && !std::holds_alternative<settings_table::CheckEditor>(setting.editor)
            && !std::holds_alternative<settings_table::FolderEditor>(setting.editor))
            keys << setting.key;
    }
    return keys;
}

// The pixels of a value widget, as the page shows it, inside rect (in the
// widget's coordinates) that are light: an arrow or a tick. The themed
// fields, buttons, borders and the page are all dark or the accent.
int lightPixels(const SettingsPage& page, const QWidget* widget, const QRect& rect, int atLeast)
{
    const QImage shot = page.widget()->grab().toImage();
    const QPoint origin = widget->mapTo(page.widget(), QPoint(0, 0));
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor colour = shot.pixelColor(origin + QPoint(x, y));
            count += colour.red() >= atLeast && colour.green() >= atLeast && colour.blue() >= atLeast;
        }
    }
    return count;
}

// Where a check box's indicator is drawn.
QRect indicatorRect(const QCheckBox* check)
{
    QStyleOptionButton option;
    option.initFrom(check);
    return check->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, check);
}

} // namespace

class TestSettingsPage : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchHome> home;
    std::unique_ptr<LauncherSession> session;
    std::unique_ptr<SettingsPage> page;
    LauncherSettings shown;

    // The settings file's bytes ("" while there is none).
    QByteArray settingsFileContent() const
    {
        QFile file(session->settingsFileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The page of a session, short enough to scroll, shown in an active window.
    void openPage()
    {
        session = std::make_unique<LauncherSession>();
        page = std::make_unique<SettingsPage>(*session);
        page->addRows();
        page->showSettings(shown);
        page->resize(560, 360);
        page->show();
        page->activateWindow(); // also where no window manager activates it
        QVERIFY(QTest::qWaitForWindowActive(page.get()));
    }

    QWidget* valueWidget(const QString& key) const
    {
        QWidget* widget = page->valueWidget(key);
        if (!widget)
            qFatal("no value widget for %s", qPrintable(key));
        return widget;
    }

private slots:
    void init() { home = std::make_unique<ScratchHome>(); }
    void cleanup()
    {
        page.reset();
        session.reset();
        home.reset();
        qApp->setStyleSheet(QString());
    }

    // Scrolling the page with the pointer over each value widget in turn
    // scrolls it and changes nothing, whichever widget holds the focus.
    void wheelOverAnUnfocusedValueScrollsThePage()
    {
        openPage();
        QSignalSpy changes(page.get(), &SettingsPage::settingsChanged);
        const QByteArray savedBefore = settingsFileContent();
        QScrollBar* scroll = page->verticalScrollBar();
        QVERIFY(scroll->maximum() > 0);
        for (const settings_table::Setting& setting : settings_table::settings()) {
            if (!setting.visible)
                continue;
            QWidget* widget = valueWidget(setting.key);
            // Another value widget holds the focus.
            QWidget* focused = valueWidget(setting.key == QLatin1String("log_level") ? QStringLiteral("log_dir")
                                                                                     : QStringLiteral("log_level"));
            focused->setFocus(Qt::TabFocusReason);
            QTRY_VERIFY(focused->hasFocus());
            page->ensureWidgetVisible(widget);
            const int before = scroll->value();
            const QVariant value = shownValue(widget);
            turnWheel(widget, before == scroll->maximum() ? kNotch : -kNotch);
            QVERIFY2(scroll->value() != before, qPrintable(setting.key + " kept the page from scrolling"));
            QCOMPARE(shownValue(widget), value);
            QVERIFY2(!widget->hasFocus(), qPrintable(setting.key + " took the focus from the wheel"));
        }
        QCOMPARE(changes.count(), 0);
        QCOMPARE(settingsFileContent(), savedBefore); // nothing was written
    }

    void wheelOverAFocusedValueChangesIt_data()
    {
        QTest::addColumn<QString>("key");
        for (const QString& key : wheelSteppedKeys())
            QTest::newRow(qPrintable(key)) << key;
    }

    // Given the focus by a click or Tab, a widget takes the wheel, and the
    // page stays where it is.
    void wheelOverAFocusedValueChangesIt()
    {
        QFETCH(QString, key);
        openPage();
        QWidget* widget = valueWidget(key);
        page->ensureWidgetVisible(widget);
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(8, widget->height() / 2));
        if (auto* combo = qobject_cast<QComboBox*>(widget))
            combo->hidePopup(); // the click opened the list
        QTRY_VERIFY(widget->hasFocus());
        QSignalSpy changes(page.get(), &SettingsPage::settingsChanged);
        const int scrolled = page->verticalScrollBar()->value();
        const QVariant value = shownValue(widget);
        turnWheel(widget, notchThatChanges(widget));
        QVERIFY(shownValue(widget) != value);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(page->verticalScrollBar()->value(), scrolled);
    }

    // The themed drop-down, spin buttons and checked box each show a light
    // arrow or tick on their dark or accent ground; without the images Qt
    // draws none there.
    void themedControlsShowArrowsAndTicks()
    {
        QString sheet;
        QVERIFY(loadThemedStyleSheet(gameProfile(), &sheet));
        qApp->setStyleSheet(sheet);
        shown.async_shader_compilation = true;
        shown.native_2x_msaa = false;
        openPage();

        constexpr int kArrowLight = 170; // the arrows' pale accent, #b9d7ff
        constexpr int kTickLight = 235;  // the tick's white on the accent
        QWidget* combo = valueWidget(QStringLiteral("resolution_scale"));
        QVERIFY(lightPixels(*page, combo, QRect(combo->width() - 20, 0, 20, combo->height()), kArrowLight) >= 6);

        for (const char* key : {"frame_limit", "audio_gain"}) {
            QWidget* spin = valueWidget(QLatin1String(key));
            const int half = spin->height() / 2;
            const QRect up(spin->width() - 16, 0, 16, half);
            const QRect down(spin->width() - 16, half, 16, spin->height() - half);
            QVERIFY2(lightPixels(*page, spin, up, kArrowLight) >= 6, key);
            QVERIFY2(lightPixels(*page, spin, down, kArrowLight) >= 6, key);
        }

        auto* checked = static_cast<QCheckBox*>(valueWidget(QStringLiteral("async_shader_compilation")));
        auto* unchecked = static_cast<QCheckBox*>(valueWidget(QStringLiteral("native_2x_msaa")));
        QVERIFY(checked->isChecked() && !unchecked->isChecked());
        QVERIFY(lightPixels(*page, checked, indicatorRect(checked), kTickLight) >= 6);
        QCOMPARE(lightPixels(*page, unchecked, indicatorRect(unchecked), kTickLight), 0);
    }
};

ORVELLO_TEST_MAIN(TestSettingsPage)
#include "settings_page_test.moc"
