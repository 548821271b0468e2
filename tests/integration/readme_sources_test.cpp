// The `Source` examples the README gives must work when copied into Config.ini as they stand.
#include "camera_api/step_by_step.h"
#include "camera_process/process_camera_view.h"
#include "settings/mod_ini.h"

#include <QFile>
#include <QRegularExpression>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

TEST(ReadmeSourceExamples, EachReadsAsAValidSourceAndTheTestPatternDelivers) {
    QFile readme(QStringLiteral(LUMIVEX_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const QRegularExpression iniBlock(QStringLiteral("```ini\\n(.*?)```"),
                                      QRegularExpression::DotMatchesEverythingOption);
    QStringList examples;
    for (auto block = iniBlock.globalMatch(text); block.hasNext();)
        for (const QString& line : block.next().captured(1).split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("Source="))) examples.append(line);
    ASSERT_GE(examples.size(), 3);

    for (const QString& line : examples) {
        // Read as the program reads Config.ini, then opened as the program opens a source.
        const auto value = modIni::lookUp(("[MAIN]\n" + line).toUtf8(), "MAIN", "Source");
        ASSERT_TRUE(value) << qPrintable(line);
        QWidget host;
        camera_process::ProcessCameraView view{LUMIVEX_CAMERA_PROGRAM};
        QString error;
        QWidget* preview = camera::createAndWait(view, &host, {160, 120}, *value, &error);
        EXPECT_TRUE(preview) << qPrintable(line) << ": " << qPrintable(error);
        if (preview && value->startsWith(QLatin1String("videotestsrc"))) {
            ASSERT_TRUE(camera::connectAndWait(view, &error)) << qPrintable(error);
            EXPECT_TRUE(view.grabFrame(&error)) << qPrintable(error);
            view.disconnectDriver();
        }
    }
}

} // namespace
