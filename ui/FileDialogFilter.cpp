#include "ui/FileDialogFilter.h"

namespace zelv4 {

namespace {

QString Pattern(const QString& windowsPattern)
{
    QStringList patterns;
    for (QString p : windowsPattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        p = p.trimmed();
        if (p == QLatin1String("*.*"))
            p = QStringLiteral("*");
        if (!p.isEmpty())
            patterns << p;
    }
    return patterns.join(QLatin1Char(' '));
}

}  // namespace

QStringList FileDialogFilter::ToNameFilters(const std::string& filter)
{
    // "||" ends the list; a single '|' separates text and pattern.
    QString rest = QString::fromStdString(filter);
    const qsizetype end = rest.indexOf(QLatin1String("||"));
    if (end >= 0)
        rest.truncate(end);

    const QStringList parts = rest.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString text = parts[i].trimmed();
        const QString pattern = Pattern(parts[i + 1]);
        if (pattern.isEmpty())
            continue;
        if (text.endsWith(QLatin1Char(')'))) {
            const qsizetype open = text.lastIndexOf(QLatin1Char('('));
            if (open >= 0)
                text = text.left(open).trimmed();
        }
        filters << (text.isEmpty() ? pattern : text + QStringLiteral(" (") + pattern + QLatin1Char(')'));
    }
    return filters;
}

}  // namespace zelv4
