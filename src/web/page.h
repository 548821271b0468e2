#pragma once

#include <QByteArray>

// The run's page: the document, its script and its style, served as they are. The page has no
// run data in it; its script asks status.json and latest.jpg every few seconds.
namespace web::page {

extern const QByteArray Html;
extern const QByteArray Script;
extern const QByteArray Style;
// Shown instead of the page without a right key: nothing of the run.
extern const QByteArray KeyNeeded;

} // namespace web::page
