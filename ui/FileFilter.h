#pragma once

#include <QString>
#include <QStringList>

namespace morvaleth {

// Qt name filters for a filter written as "description|pattern" pairs, as in
// "すべてのﾌｧｲﾙ|*.*|ﾃｷｽﾄﾌｧｲﾙ|*.txt". A pattern may list several, separated by
// ";", and "*.*" matches every name, dot or not. Each name filter reads
// "description (patterns)"; a dialog with HideNameFilterDetails shows the
// description alone.
QStringList NameFilters(const QString& pairs);

// The one extension a name filter asks for ("bmp" for "ﾋﾞｯﾄﾏｯﾌﾟ (*.bmp) (*.bmp)"),
// or empty when it asks for any name or for several.
QString SingleExtension(const QString& nameFilter);

} // namespace morvaleth
