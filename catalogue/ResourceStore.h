// Named byte blobs of the effect catalogue. Names are matched regardless of
// case: the files are stored under upper-case names while the editor asks
// for mixed-case ones ("Example_Drive_ctrls").
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>

namespace kestra {

class ResourceStore {
public:
    // Every file directly inside folder is a resource named after the file.
    // The folder may be a Qt resource path (":/...") or a real directory.
    explicit ResourceStore(QString folder);

    // The catalogue compiled into the executable from KESTRA_CATALOGUE_DIR.
    static ResourceStore& compiled();
    // Qt resource folder that holds the compiled catalogue.
    static QString compiledFolder();

    std::optional<QByteArray> find(const QString& name) const;
    bool contains(const QString& name) const;
    // Why find(name) fails: which resource, and whether it is missing or
    // unreadable.
    QString errorFor(const QString& name) const;
    // Upper-case names of every resource, sorted.
    QStringList names() const;
    const QString& folder() const { return folder_; }

private:
    QString folder_;
    QHash<QString, QString> pathByName_; // upper-case name -> file path
};

} // namespace kestra
