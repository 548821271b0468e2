// The names the window gives runs and pictures, as Make Video reads them back.
#include "video/run_list.h"
#include "window/form_fixture.h"

namespace {

class RunNamesRoundTripTest : public FormTest {};

// Under a locale whose month names are not English, two runs in one second and a run started
// later at an earlier clock time (the clock was set back) are listed by the moment in their
// names, and the pictures come in number order.
TEST_F(RunNamesRoundTripTest, MakeVideoReadsWhatTheWindowWrote) {
    locale = QLocale(QLocale::French, QLocale::France);
    auto& f = loadedForm();
    f.cmdStart->click();
    for (int i = 0; i < 10; ++i) {
        f.cmdTakePic->click();
        f.waitForSaves(); // clicks as fast as these would outrun any disk
    }
    f.cmdStop->click();
    f.cmdStart->click();
    f.cmdStop->click();
    clock.local = QDateTime(QDate(2026, 12, 5), QTime(23, 59, 59));
    f.cmdStart->click();
    f.cmdStop->click();

    QStringList readBack;
    for (const QString& run : video::listRuns(picturesPath(), locale))
        readBack << run + ": " + video::scanRun(picturesPath() + '/' + run).pictures.join(", ");
    QStringList pictures;
    for (int n = 1; n <= 10; ++n)
        pictures << QStringLiteral("Picture %1.bmp").arg(n);
    EXPECT_EQ(readBack, QStringList({QString::fromUtf8("06déc.2026-074039-2: "),
                                     QString::fromUtf8("06déc.2026-074039: ") + pictures.join(", "),
                                     QString::fromUtf8("05déc.2026-235959: ")}));
}

} // namespace
