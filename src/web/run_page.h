#pragma once

#include "web/latest_jpeg.h"
#include "web/run_status.h"
#include "web/web_key.h"
#include "web/web_server.h"
#include "web/web_settings.h"

#include <QString>

namespace web {

// The run's web page as a whole: its key in Web.ini beside the program, the state the window
// publishes, the latest picture as JPEG, and the server.
class RunPage {
public:
    RunPage(const QString& programFolder, const WebSettings& settings);
    // False, with `error` saying why: the key cannot be kept, the certificate cannot be read,
    // the server cannot listen.
    bool start(QString* error);
    StatusBoard& board() { return board_; }
    QString link() const;
    bool newKey(QString* error) { return key_.renew(error); }

private:
    QString programFolder_;
    WebSettings settings_;
    WebKey key_;
    StatusBoard board_;
    LatestJpeg latest_;
    std::unique_ptr<WebServer> server_;
};

} // namespace web
