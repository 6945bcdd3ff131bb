// Helpers of the catalogue tests: a throw-away catalogue folder and a
// capture of the debug log.
#pragma once

#include "catalogue/ResourceStore.h"
#include "core/DebugLog.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace kestra::test {

// A folder holding exactly the resources a test needs, read through a
// ResourceStore built on it.

class CatalogueFolder {
public:
    explicit CatalogueFolder(const std::map<QString, QByteArray>& files) {
        EXPECT_TRUE(dir_.isValid());
        for (const auto& [name, data] : files) {
            QFile file(QDir(dir_.path()).filePath(name));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
            file.write(data);
        }
    }
    ResourceStore store() const { return ResourceStore(dir_.path()); }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

// Hex text of an image of exactly bytes bytes.
inline QByteArray imageOfSize(int bytes) {
    return QByteArray(2 * bytes, 'A');
}

// Collects the debug log while alive. Lines logged earlier with no sink
// attached are flushed into a new sink, so they are dropped here.
class LogCapture {
public:
    LogCapture() {
        DebugLog::setSink([this](const QStringList& l, bool) { lines.append(l); });
        lines.clear();
    }
    ~LogCapture() { DebugLog::setSink({}); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    QStringList lines;
};

} // namespace kestra::test
