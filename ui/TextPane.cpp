#include "ui/TextPane.h"

#include "composer/Error.h"
#include "composer/text/SourceReader.h"

#include <QFile>
#include <QTextDocument>

#include <string>

namespace morvaleth {

QString TextAsRead(const QString& path)
{
    SourceReader reader(QFile::encodeName(path).toStdString(), SourceEncoding::Automatic);
    std::u32string text;
    std::size_t characters = 0;
    std::u32string_view unit;
    for (;;) {
        const SourceReader::Token token = reader.Next(unit);
        if (token == SourceReader::Token::TextEnd)
            break;
        if (++characters > LongestPaneText)
            throw Error("ﾃｷｽﾄが長すぎます (" + std::to_string(LongestPaneText) + " 文字まで)", ErrorKind::Resources,
                        path.toStdString());
        if (token == SourceReader::Token::Unit)
            text += unit;
        else
            text += U'\n';
    }
    reader.Close();
    return QString::fromUcs4(text.data(), qsizetype(text.size()));
}

QString PlainTextOf(const QTextDocument& document)
{
    // toPlainText() would turn no-break spaces into spaces as well.
    QString text = document.toRawText();
    for (QChar& character : text)
        if (character == QChar::ParagraphSeparator || character == QChar::LineSeparator)
            character = QLatin1Char('\n');
    return text;
}

} // namespace morvaleth
