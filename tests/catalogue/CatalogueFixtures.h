// A throw-away catalogue folder: tests write exactly the resources they need
// and read them through a ResourceStore built on the folder.
#pragma once

#include "catalogue/ResourceStore.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace kestra::test {

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

} // namespace kestra::test
