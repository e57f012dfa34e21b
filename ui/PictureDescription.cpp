#include "ui/PictureDescription.h"

#include "composer/Error.h"
#include "composer/text/SourceReader.h"

#include <QStringList>

#include <filesystem>
#include <system_error>

namespace morvaleth {

QString SourceExcerpt(const std::string& path, SourceEncoding encoding, int characters)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return {};
    // The last line's end comes before the text's end, and is no text: up to
    // two tokens past the quoted ones tell whether more text follows.
    QStringList pieces;
    bool ended = false;
    try {
        SourceReader reader(path, encoding);
        std::u32string_view unit;
        while (pieces.size() < qsizetype(characters) + 2) {
            const SourceReader::Token token = reader.Next(unit);
            if (token == SourceReader::Token::TextEnd) {
                ended = true;
                break;
            }
            if (token == SourceReader::Token::LineEnd)
                pieces += QStringLiteral("\n");
            else if (IsControlUnit(unit))
                pieces += QStringLiteral(" ");
            else
                pieces += QString::fromUcs4(unit.data(), qsizetype(unit.size()));
        }
        reader.Close();
    } catch (const Error&) {
        // The picture is made; a text that cannot be read again only leaves
        // the description without it.
        return {};
    }
    while (ended && !pieces.isEmpty() && pieces.back() == QStringLiteral("\n"))
        pieces.removeLast();
    if (pieces.size() <= characters)
        return pieces.join(QString());
    return pieces.mid(0, characters).join(QString()) + QStringLiteral("…");
}

QString DescribePicture(QSize size, const QString& excerpt)
{
    const QString picture = QStringLiteral("%1 × %2 ピクセルの画像").arg(size.width()).arg(size.height());
    if (excerpt.trimmed().isEmpty())
        return picture;
    return picture + QStringLiteral("。テキスト: ") + excerpt;
}

} // namespace morvaleth
