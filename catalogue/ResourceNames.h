// Text rules shared by every catalogue reader: how an effect name becomes a
// resource name, and how a resource text is cut into lines.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace kestra {

// Replaces, in this order and everywhere: " " -> "_", "-" -> "_",
// "+" -> "plus", upper-case "X" -> "mult". Case-sensitive on purpose: a
// lower-case x is part of ordinary words ("Crossfader").
QString format_resource_name(const QString& name);

// Lines separated by CR LF, CR or LF. A final line break adds no entry, so
// an empty text has no lines.
QStringList splitLines(QStringView text);

} // namespace kestra
