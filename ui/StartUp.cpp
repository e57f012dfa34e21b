#include "ui/StartUp.h"

#include "ui/Application.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace morvaleth {

namespace {

const QString HelpText = QStringLiteral(
    "使い方: morvaleth [ｵﾌﾟｼｮﾝ] [ﾌｧｲﾙ]\n"
    "テキストファイルから、切り抜いた文字を貼り合わせた手紙の画像を作ります。\n"
    "ﾌｧｲﾙを指定すると、ウィンドウが開いてすぐにそれを画像にします。\n"
    "\n"
    "ｵﾌﾟｼｮﾝ:\n"
    "  -h, --help     この説明を表示して終了します\n"
    "  -v, --version  バージョンを表示して終了します\n"
    "  --             これより後はすべてﾌｧｲﾙ名です\n"
    "\n"
    "ﾌｧｲﾙ:\n"
    "  すぐに画像にするテキストファイル\n"
    "\n"
    "Qt のｵﾌﾟｼｮﾝ (-platform、-style、-display など) も使えます。\n");

// The options Qt's application object takes out of the command line itself,
// as Qt 6 documents them; those in the first list take a value, as the next
// argument or after "=".
constexpr std::array<std::string_view, 13> QtOptionsWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "session", "display", "geometry", "style", "stylesheet", "name"};
constexpr std::array<std::string_view, 6> QtFlags = {"reverse", "widgetcount", "nograb",
                                                      "dograb",  "sync",        "qmljsdebugger"};

template <std::size_t N>
bool Lists(const std::array<std::string_view, N>& names, std::string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

QString FromLocal(const std::string& text)
{
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

TStartUp UsageMistake(const QString& what)
{
    return {2, what + QStringLiteral("\n\n") + HelpText, {}};
}

} // namespace

TStartUp ReadArguments(const std::vector<std::string>& arguments, const QString& version)
{
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            files.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "-h" || argument == "--help")
            return {0, HelpText, {}};
        if (argument == "-v" || argument == "--version")
            return {0, QString::fromLatin1(ApplicationTitle) + QLatin1Char(' ') + version + QLatin1Char('\n'), {}};
        // Qt reads its options with one dash or two, their values after "="
        // or as the next argument.
        std::string_view name(argument);
        name.remove_prefix(name.starts_with("--") ? 2 : 1);
        const std::size_t equals = name.find('=');
        const bool valueGiven = equals != std::string_view::npos;
        name = name.substr(0, equals);
        if (Lists(QtOptionsWithValue, name)) {
            if (!valueGiven && ++i == arguments.size())
                return UsageMistake(QStringLiteral("ｵﾌﾟｼｮﾝ '%1' には値が要ります").arg(FromLocal(argument)));
            continue;
        }
        if (Lists(QtFlags, name))
            continue;
        return UsageMistake(QStringLiteral("'%1' は未知のｵﾌﾟｼｮﾝです").arg(FromLocal(argument)));
    }
    if (files.size() > 1)
        return UsageMistake(QStringLiteral("ﾌｧｲﾙは一つしか指定できません: '%1'").arg(FromLocal(files[1])));
    return {std::nullopt, {}, files.empty() ? QString() : FromLocal(files.front())};
}

} // namespace morvaleth
