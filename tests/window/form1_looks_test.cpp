// The window's controls, their initial values, the Idle and Running looks and the focus order.
#include "form_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>

namespace {

QColor textColour(const QWidget* w) {
    return w->palette().color(QPalette::WindowText);
}
QColor baseColour(const QLineEdit* w) {
    return w->palette().color(QPalette::Base);
}

struct ControlCase {
    const char* name;
    const char* parent;
    const char* text;
    QRect geometry; // in pixels, 15 twips each
};

class LooksTest : public FormTest {};

TEST_F(LooksTest, ControlsHaveTheirNamesCaptionsAndPlaces) {
    auto& f = makeForm();
    EXPECT_EQ(f.objectName(), "Form1");
    EXPECT_EQ(f.windowTitle(), "Webcam Lumivex v0.03");
    EXPECT_EQ(f.size(), QSize(657, 665));
    EXPECT_FALSE(f.windowIcon().isNull());
    EXPECT_EQ(f.font().family(), "Arial");
    EXPECT_DOUBLE_EQ(f.font().pointSizeF(), 8.25);

    const ControlCase cases[] = {
        {"Stage", "Form1", nullptr, {8, 8, 640, 480}},
        {"Frame1", "Form1", "Panel", {8, 496, 641, 161}},
        {"Frame4", "Frame1", "Settings", {8, 16, 129, 137}},
        {"Label4", "Frame4", "Interval:", {8, 16, 41, 17}},
        {"txtInterval", "Frame4", "10", {56, 16, 33, 21}},
        {"Label3", "Frame4", "sec.", {96, 16, 25, 17}},
        {"Label8", "Frame4", "Save as:", {8, 40, 41, 17}},
        {"cboSaveAs", "Frame4", "BMP", {56, 40, 65, 20}},
        {"chkTimeStamp", "Frame4", "Time stamp", {8, 61, 113, 17}},
        {"cmdCamera", "Frame4", "Camera\u2026", {8, 78, 113, 25}},
        {"cmdMakeVideo", "Frame4", "Make Video\u2026", {8, 104, 113, 25}},
        {"Frame5", "Frame1", "Calculation", {144, 16, 169, 137}},
        {"Label5", "Frame5", "Photo's per minute:", {8, 16, 105, 17}},
        {"lblCalc1", "Frame5", "6", {120, 16, 41, 17}},
        {"Label6", "Frame5", "Photo's per hour:", {8, 32, 105, 17}},
        {"lblCalc2", "Frame5", "360", {120, 32, 41, 17}},
        {"Label7", "Frame5", "Photo's per day:", {8, 48, 105, 17}},
        {"lblCalc3", "Frame5", "8640", {120, 48, 41, 17}},
        {"lblDiskFull", "Frame5", "Disk full in: unknown", {8, 72, 153, 33}},
        {"Frame3", "Frame1", "Stop", {320, 16, 169, 137}},
        {"optStop1", "Frame3", "When I say so", {8, 16, 113, 17}},
        {"optStop2", "Frame3", "After              pictures", {8, 40, 137, 17}},
        {"txtStopAt", "Frame3", "50", {56, 40, 33, 21}},
        {"lblCalc", "Frame3", "That is 500 seconds.", {24, 64, 129, 17}},
        {"Frame2", "Frame1", "Status", {496, 96, 137, 57}},
        {"Label1", "Frame2", "Timer:", {8, 16, 81, 17}},
        {"lblStatus", "Frame2", "Off", {96, 16, 33, 17}},
        {"Label2", "Frame2", "Pictures taken:", {8, 32, 81, 17}},
        {"lblPicturesTaken", "Frame2", "0", {96, 32, 33, 17}},
        {"cmdStart", "Frame1", "Start Timer", {552, 16, 81, 25}},
        {"cmdStop", "Frame1", "Stop Timer", {552, 40, 81, 25}},
        {"cmdTakePic", "Frame1", "Take Picture", {552, 64, 81, 25}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto* w = f.findChild<QWidget*>(QLatin1String(c.name));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), QLatin1String(c.parent));
        EXPECT_EQ(w->geometry(), c.geometry);
        if (!c.text) continue;
        QString text;
        if (auto* box = qobject_cast<QGroupBox*>(w)) text = box->title();
        if (auto* label = qobject_cast<QLabel*>(w)) text = label->text();
        if (auto* edit = qobject_cast<QLineEdit*>(w)) text = edit->text();
        if (auto* button = qobject_cast<QAbstractButton*>(w)) text = button->text();
        if (auto* combo = qobject_cast<QComboBox*>(w)) text = combo->currentText();
        EXPECT_EQ(text, QString::fromUtf8(c.text));
    }
    // The stop count lies over the caption of the second stop option, above it.
    EXPECT_TRUE(f.optStop2->geometry().contains(f.txtStopAt->geometry().topLeft()));
    const auto siblings = f.Frame3->children();
    EXPECT_GT(siblings.indexOf(f.txtStopAt), siblings.indexOf(f.optStop2));

    for (QLabel* bold : {f.lblCalc1, f.lblCalc2, f.lblCalc3, f.lblStatus})
        EXPECT_TRUE(bold->font().bold()) << bold->objectName().toStdString();
    EXPECT_FALSE(f.lblPicturesTaken->font().bold());
    EXPECT_EQ(f.Stage->font().family(), "MS Sans Serif");
}

TEST_F(LooksTest, OpensIdleAndSwitchesLooksWithTheRun) {
    auto& f = loadedForm();
    // Idle: inputs and Start enabled, Stop and Take Picture disabled, the timer off in red;
    // Running the other way round, "On" in green.
    const auto expectLook = [&](bool running) {
        for (QWidget* w :
             std::initializer_list<QWidget*>{f.txtInterval, f.txtStopAt, f.optStop1, f.optStop2,
                                             f.cmdStart, f.cboSaveAs, f.chkTimeStamp})
            EXPECT_EQ(w->isEnabled(), !running) << w->objectName().toStdString();
        EXPECT_EQ(f.cmdStop->isEnabled(), running);
        EXPECT_EQ(f.cmdTakePic->isEnabled(), running);
        EXPECT_EQ(f.Timer->isEnabled(), running);
        EXPECT_EQ(f.lblStatus->text(), running ? "On" : "Off");
        EXPECT_EQ(textColour(f.lblStatus), running ? QColor(0, 255, 0) : QColor(255, 0, 0));
    };
    expectLook(false);
    EXPECT_TRUE(f.optStop1->isChecked());
    EXPECT_FALSE(f.optStop2->isChecked());
    EXPECT_EQ(baseColour(f.txtInterval), QColor(255, 255, 255));

    f.cmdStart->click();
    expectLook(true);
    f.cmdStop->click();
    expectLook(false);
}

TEST_F(LooksTest, OptionButtonsAreExclusive) {
    auto& f = makeForm();
    f.optStop2->click();
    EXPECT_TRUE(f.optStop2->isChecked());
    EXPECT_FALSE(f.optStop1->isChecked());
    EXPECT_TRUE(f.txtStopAt->isEnabled());
    f.optStop1->click();
    EXPECT_FALSE(f.optStop2->isChecked());
    EXPECT_TRUE(f.txtStopAt->isEnabled());
}

TEST_F(LooksTest, TabGoesThroughTheControlsInOrder) {
    auto& f = makeForm();
    const QList<QWidget*> expected{f.Stage,        f.cmdStart,  f.cmdStop,   f.cmdTakePic,
                                   f.txtInterval,  f.optStop1,  f.optStop2,  f.txtStopAt,
                                   f.cmdMakeVideo, f.cmdCamera, f.cboSaveAs, f.chkTimeStamp};
    QWidget* w = f.Stage;
    for (int i = 1; i < expected.size(); ++i) {
        do
            w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus);
        EXPECT_EQ(w, expected[i]) << "step " << i << ": " << w->objectName().toStdString();
    }
}

} // namespace

#include <QAccessible>

namespace {

// Screen readers and UI automation find the controls by these names and read the values.
TEST_F(LooksTest, AccessibleNamesAreTheCaptionsAndValues) {
    auto& f = loadedForm();
    const auto name = [](QObject* o) {
        return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name);
    };
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&f)->role(), QAccessible::Window);
    EXPECT_EQ(name(&f), "Webcam Lumivex v0.03");
    EXPECT_EQ(name(f.Frame1), "Panel");
    EXPECT_EQ(name(f.Frame2), "Status");
    EXPECT_EQ(name(f.Frame3), "Stop");
    EXPECT_EQ(name(f.Frame4), "Settings");
    EXPECT_EQ(name(f.Frame5), "Calculation");
    EXPECT_EQ(name(f.lblStatus), "Off");
    EXPECT_EQ(name(f.lblPicturesTaken), "0");
    EXPECT_EQ(name(f.lblCalc1), "6");
    EXPECT_EQ(name(f.cmdStart), "Start Timer");
    QAccessibleInterface* saveAs = QAccessible::queryAccessibleInterface(f.cboSaveAs);
    EXPECT_EQ(saveAs->text(QAccessible::Value), "BMP");
    QStringList labels;
    for (const auto& [label, relation] : saveAs->relations(QAccessible::Label))
        labels << label->text(QAccessible::Name);
    EXPECT_TRUE(labels.contains("Save as:")) << labels.join(", ").toStdString();
    EXPECT_EQ(name(f.chkTimeStamp), "Time stamp");
    EXPECT_EQ(name(f.lblDiskFull), f.lblDiskFull->text());
    f.cmdStart->click();
    EXPECT_EQ(name(f.lblStatus), "On");
}

} // namespace
