#include "ui/StartUp.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace morvaleth {

TStartUp ReadArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("テキストファイルから、切り抜いた文字を貼り合わせた手紙の画像を作ります。"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("すぐに画像にするテキストファイル"),
                                 QStringLiteral("[FILE]"));

    const auto usageMistake = [&](const QString& what) {
        return TStartUp{2, what + QStringLiteral("\n\n") + parser.helpText(), {}};
    };
    if (!parser.parse(arguments))
        return usageMistake(parser.errorText());
    if (parser.isSet(help))
        return {0, parser.helpText(), {}};
    if (parser.isSet(version))
        return {0,
                QCoreApplication::applicationName() + QLatin1Char(' ') +
                    QCoreApplication::applicationVersion() + QLatin1Char('\n'),
                {}};
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return usageMistake(QStringLiteral("ファイルは一つしか指定できません: '%1'").arg(files[1]));
    return {std::nullopt, {}, files.value(0)};
}

} // namespace morvaleth
