// The run's web page under load, on the real server.
//
//   bench_web status FOLDER SECONDS  web_status_p99_ms, gui_stall_ms_web: 50 clients ask for
//                                    status.json as fast as they can (each on a connection of
//                                    its own, kept open) while the real window runs at interval 1
//                                    saving 1920 x 1080 PNG pictures and publishing its state
//   bench_web latest FOLDER RUNS     web_latest_ms: /latest.jpg of a new 1920 x 1080 PNG picture
//                                    each time (nothing cached), against the PNG decode plus
//                                    libjpeg-turbo's cjpeg of the same pixels
#include "bench_util.h"
#include "camera_process/process_camera_view.h"
#include "web/latest_jpeg.h"
#include "web/run_status.h"
#include "web/web_key.h"
#include "web/web_server.h"
#include "window/clock.h"
#include "window/form1.h"
#include "window/load_and_wait.h"
#include "window/message_boxes.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using bench::die;
using bench::SteadyClock;

class LoggedMessages : public window::MessageBoxes {
public:
    void show(const QString& text, const QString& title, Icon) override {
        std::fprintf(stderr, "[%s] %s\n", qPrintable(title), qPrintable(text));
    }
};

void writeFile(const QString& path, const QByteArray& contents) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) < 0)
        die(QStringLiteral("cannot write ") + path);
}

int connectTo(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        die(QStringLiteral("cannot connect to the page"));
    return fd;
}

// One request on a kept-open connection; false when the answer is not a whole 200.
bool ask(int fd, const std::string& request, std::string* body = nullptr) {
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size()))
        return false;
    std::string in;
    char buffer[65536];
    std::size_t headEnd = std::string::npos, length = 0;
    while (headEnd == std::string::npos || in.size() < headEnd + 4 + length) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        in.append(buffer, std::size_t(n));
        if (headEnd == std::string::npos && (headEnd = in.find("\r\n\r\n")) != std::string::npos) {
            const std::size_t at = in.find("Content-Length: ");
            if (at == std::string::npos || at > headEnd) return false;
            length = std::stoul(in.substr(at + 16));
        }
    }
    if (body) *body = in.substr(headEnd + 4);
    return in.compare(0, 12, "HTTP/1.1 200") == 0;
}

struct Page {
    explicit Page(const QString& folder) {
        QString error;
        if (!key.load(folder + QStringLiteral("/Web.ini"), &error)) die(error);
        if (!server.start(&error)) die(error);
    }
    web::WebKey key;
    web::StatusBoard board;
    web::LatestJpeg latest;
    web::WebServer server{board, key, latest, {}};
};

int status(const QString& folder, int seconds) {
    QDir dir(folder);
    writeFile(dir.filePath(QStringLiteral("Config.ini")),
              "[MAIN]\r\nWidth=640\r\nHeight=480\r\nFramerate=33\r\nPictureFormat=PNG\r\n"
              "Source=videotestsrc is-live=true ! video/x-raw,width=1920,height=1080,"
              "framerate=30/1\r\n");
    if (!dir.mkpath(QStringLiteral("pictures"))) die(QStringLiteral("cannot make ") + folder);
    Page page(folder);
    camera_process::ProcessCameraView view{LUMIVEX_CAMERA_PROGRAM};
    window::SystemClock clock;
    window::TimerAlarm alarm{clock};
    LoggedMessages messages;
    window::Form1Deps deps{view, messages, clock, alarm, folder};
    deps.runWatcher = &page.board;
    window::Form1 form(std::move(deps));
    QTimer acceptDialog;
    QObject::connect(&acceptDialog, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->accept();
    });
    acceptDialog.start(50);
    if (!window::loadAndWait(form)) die(QStringLiteral("the window did not start"));
    acceptDialog.stop();
    form.show();
    {
        QEventLoop settle;
        QTimer::singleShot(1000, &settle, &QEventLoop::quit);
        settle.exec();
    }

    constexpr int Clients = 50;
    const std::string request =
        "GET /status.json HTTP/1.1\r\nHost: bench\r\nAuthorization: Bearer " + page.key.current() +
        "\r\n\r\n";
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};
    std::vector<std::vector<double>> latencies(Clients);
    std::vector<std::thread> clients;
    form.txtInterval->setText(QStringLiteral("1"));
    bench::GapMeter meter;
    meter.start();
    form.cmdStart->click();
    if (!form.isRunning()) die(QStringLiteral("the run did not start"));
    for (int c = 0; c < Clients; ++c)
        clients.emplace_back([&, c] {
            // The clients stand in for phones: their own work would not be on this computer,
            // so they take what the program leaves over.
            ::setpriority(PRIO_PROCESS, ::gettid(), 19);
            int fd = connectTo(page.server.port());
            while (!stop) {
                const auto begin = SteadyClock::now();
                if (!ask(fd, request)) {
                    ++failures;
                    ::close(fd);
                    fd = connectTo(page.server.port());
                    continue;
                }
                latencies[std::size_t(c)].push_back(
                    bench::millisecondsBetween(begin, SteadyClock::now()));
            }
            ::close(fd);
        });
    QEventLoop run;
    QTimer::singleShot(seconds * 1000, &run, &QEventLoop::quit);
    run.exec();
    meter.stop();
    stop = true;
    for (std::thread& t : clients)
        t.join();
    const std::int32_t taken = form.lngTaken, notSaved = form.lngNotSaved;
    form.cmdStop->click();

    std::vector<double> all;
    for (const auto& l : latencies)
        all.insert(all.end(), l.begin(), l.end());
    const double p99 = bench::percentile(all, 0.99);
    std::fprintf(stderr,
                 "web status: %d clients, %zu answers in %d s (%d failed), median %.2f ms, p99 "
                 "%.2f ms, longest %.1f ms; the run: %d pictures, %d not saved; longest gap of the "
                 "window %.1f ms%s\n",
                 Clients, all.size(), seconds, failures.load(), bench::median(all), p99,
                 bench::percentile(all, 1.0), taken, notSaved, meter.longestMs(),
                 meter.stalls().isEmpty()
                     ? ""
                     : qPrintable(QStringLiteral("; stalls: ") + meter.stalls().join(", ")));
    if (notSaved) die(QStringLiteral("%1 pictures not saved").arg(notSaved));
    bench::printRow("web_status_p99_ms", p99, -1, "ms");
    bench::printRow("gui_stall_ms_web", meter.longestMs(), -1, "ms", 0);
    return 0;
}

// A picture of the kind a camera takes: smooth light, edges and fine noise.
QImage scene() {
    QImage image(1920, 1080, QImage::Format_RGB888);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, 1080);
    sky.setColorAt(0, QColor(90, 140, 220));
    sky.setColorAt(1, QColor(230, 220, 190));
    painter.fillRect(image.rect(), sky);
    QRandomGenerator random(7);
    for (int i = 0; i < 400; ++i) {
        painter.setBrush(QColor::fromHsv(random.bounded(360), 150, 60 + random.bounded(180)));
        painter.drawEllipse(random.bounded(1920), random.bounded(1080), 20 + random.bounded(200),
                            20 + random.bounded(120));
    }
    painter.end();
    for (int y = 0; y < image.height(); ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < image.width() * 3; ++x)
            line[x] = uchar(std::clamp(int(line[x]) + int(random.bounded(9)) - 4, 0, 255));
    }
    return image;
}

int latestJpeg(const QString& folder, int runs) {
    QDir dir(folder);
    const QImage picture = scene();
    const QString png = dir.filePath(QStringLiteral("scene.png"));
    const QString ppm = dir.filePath(QStringLiteral("scene.ppm"));
    if (!picture.save(png) || !picture.save(ppm)) die(QStringLiteral("cannot write ") + folder);
    // A picture of its own for every request, so that each one is decoded and encoded anew.
    for (int i = 0; i <= runs; ++i)
        if (!QFile::copy(png, dir.filePath(QStringLiteral("Picture %1.png").arg(i))))
            die(QStringLiteral("cannot copy ") + png);

    Page page(folder);
    const std::string request =
        "GET /latest.jpg HTTP/1.1\r\nHost: bench\r\nAuthorization: Bearer " + page.key.current() +
        "\r\n\r\n";
    std::vector<double> ours, decode, cjpeg;
    std::size_t jpegBytes = 0;
    for (int i = 0; i <= runs; ++i) {
        runs::RunState state;
        state.latestPicture = dir.filePath(QStringLiteral("Picture %1.png").arg(i));
        state.latestNumber = i;
        page.board.publish(state);
        const int fd = connectTo(page.server.port());
        std::string body;
        const auto begin = SteadyClock::now();
        if (!ask(fd, request, &body)) die(QStringLiteral("latest.jpg failed"));
        const double ms = bench::millisecondsBetween(begin, SteadyClock::now());
        ::close(fd);
        jpegBytes = body.size();

        // The baseline: the PNG decoded as the page decodes it, then cjpeg of its pixels.
        const auto decodeBegin = SteadyClock::now();
        const QImage decoded =
            QImageReader(dir.filePath(QStringLiteral("Picture %1.png").arg(i))).read();
        const double decodeMs = bench::millisecondsBetween(decodeBegin, SteadyClock::now());
        if (decoded.isNull()) die(QStringLiteral("cannot decode the PNG"));
        QProcess encoder;
        const auto cjpegBegin = SteadyClock::now();
        encoder.start(QStringLiteral("cjpeg"),
                      {QStringLiteral("-quality"), QString::number(web::LatestJpeg::Quality),
                       QStringLiteral("-outfile"), dir.filePath(QStringLiteral("cjpeg.jpg")), ppm});
        if (!encoder.waitForFinished(30000) || encoder.exitCode() != 0)
            die(QStringLiteral("cjpeg failed"));
        const double cjpegMs = bench::millisecondsBetween(cjpegBegin, SteadyClock::now());
        if (i == 0) continue; // caches warm up
        ours.push_back(ms);
        decode.push_back(decodeMs);
        cjpeg.push_back(cjpegMs);
    }
    const double baseline = bench::median(decode) + bench::median(cjpeg);
    std::fprintf(stderr,
                 "web latest: %d pictures of 1920 x 1080 PNG, /latest.jpg (1280 wide, %zu bytes) "
                 "median %.1f ms; PNG decode %.1f ms + cjpeg at full size %.1f ms\n",
                 runs, jpegBytes, bench::median(ours), bench::median(decode), bench::median(cjpeg));
    bench::printRow("web_latest_ms", bench::median(ours), baseline, "ms", 1);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = bench::startUp(&argc, &argv);
    const QString folder = args.value(2);
    if (args.value(1) == QLatin1String("status"))
        return status(folder, std::max(10, args.value(3, QStringLiteral("30")).toInt()));
    if (args.value(1) == QLatin1String("latest"))
        return latestJpeg(folder, std::max(5, args.value(3, QStringLiteral("21")).toInt()));
    die(QStringLiteral("usage: bench_web status|latest FOLDER [SECONDS|RUNS]"));
}
