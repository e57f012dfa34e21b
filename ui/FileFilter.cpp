#include "ui/FileFilter.h"

#include <QRegularExpression>

namespace morvaleth {

QStringList NameFilters(const QString& pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString trimmed = pattern.trimmed();
            patterns << (trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
        }
        filters << parts[i] + QLatin1String(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

QString SingleExtension(const QString& nameFilter)
{
    static const QRegularExpression lastPatterns(QStringLiteral("\\(([^()]*)\\)\\s*$"));
    static const QRegularExpression oneExtension(QStringLiteral("^\\*\\.([^*?\\[\\]. ]+)$"));
    const QRegularExpressionMatch patterns = lastPatterns.match(nameFilter);
    if (!patterns.hasMatch())
        return {};
    const QRegularExpressionMatch extension = oneExtension.match(patterns.captured(1).trimmed());
    return extension.hasMatch() ? extension.captured(1) : QString();
}

} // namespace morvaleth
