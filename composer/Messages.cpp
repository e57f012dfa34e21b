#include "composer/Messages.h"

#include <cerrno>
#include <iterator>

namespace morvaleth {
namespace {

struct MessageEntry {
    Message message;
    std::string_view text;
    ErrorKind kind;
};

constexpr MessageEntry Messages[] = {
    {Message::OutOfResources, "ｼｽﾃﾑ ﾘｿｰｽが足りません", ErrorKind::Resources},
    {Message::WriteFailed, "ｽﾄﾘｰﾑへの書き込みｴﾗｰ", ErrorKind::Write},
    {Message::FileNotFound, "ﾌｧｲﾙが見つかりません", ErrorKind::NotFound},
    {Message::BadFileName, "不正なﾌｧｲﾙ名です", ErrorKind::NotFound},
    {Message::TooManyOpenFiles, "ｵｰﾌﾟﾝしたﾌｧｲﾙが多すぎます", ErrorKind::Resources},
    {Message::AccessDenied, "ﾌｧｲﾙへのｱｸｾｽが拒否されました", ErrorKind::Access},
    {Message::FolderNotFile, "ﾌｧｲﾙではなくﾌｫﾙﾀﾞです", ErrorKind::Usage},
    {Message::SystemErrorNumber, "I/O ｴﾗｰ (%s)", ErrorKind::Other},
    {Message::NotAnInteger, "'%s' は整数ではありません", ErrorKind::Usage},
    {Message::CannotCreateFile, "ﾌｧｲﾙ %s を作成できません", ErrorKind::Other},
    {Message::LinkLoop, "ﾌｧｲﾙ %s はｼﾝﾎﾞﾘｯｸ ﾘﾝｸのﾙｰﾌﾟです", ErrorKind::Usage},
    {Message::OutputIsSource, "ﾌｧｲﾙ %s は元になるﾃｷｽﾄﾌｧｲﾙなので上書きできません", ErrorKind::Usage},
    {Message::CannotOpenFont, "ﾌｫﾝﾄ '%s' を開けません", ErrorKind::Font},
    {Message::FontNotInstalled, "ﾌｫﾝﾄ '%s' はｲﾝｽﾄｰﾙされていません", ErrorKind::Usage},
    {Message::NoFonts, "ﾌｫﾝﾄがありません", ErrorKind::Font},
    {Message::UnusableFontSize, "ﾌｫﾝﾄ ｻｲｽﾞ %s は使えません (1 から %s まで)", ErrorKind::Usage},
    {Message::EncodingUnavailable, "文字コード変換 %s を利用できません", ErrorKind::Other},
    {Message::BeyondFormat, "%s × %s の画像は保存できません (%s)", ErrorKind::FormatLimit},
    {Message::NoPixelsToSave, "%s × %s の画像には画素がないので保存できません", ErrorKind::Usage},
    {Message::ChooseSourceFile, "元になるテキストファイルを選択して下さい。", ErrorKind::Usage},
    {Message::ScrollRangeRefused, "ｽｸﾛｰﾙﾊﾞｰ ﾌﾟﾛﾊﾟﾃｨが範囲を越えました", ErrorKind::Other},
    {Message::ScrollRangeTooLarge, "Scrollbar ranges > 65535 not supported", ErrorKind::Other},
    {Message::NoRecipe, "ﾌｧｲﾙ %s には作り方が記録されていません", ErrorKind::Usage},
    {Message::UnknownPaper, "用紙 '%s' はありません (%s)", ErrorKind::Usage},
    {Message::UnusableResolution, "解像度 '%s' は使えません (%s から %s dpi まで)", ErrorKind::Usage},
    {Message::EmbeddingForbidden,
     "ﾌｫﾝﾄ '%s' は埋め込みが許されていないので、文字を輪郭で描きます (ﾃｷｽﾄとしては読めません)", ErrorKind::Font},
    {Message::SourceChanged, "元になるﾃｷｽﾄﾌｧｲﾙが作成の後で変わりました", ErrorKind::Usage},
};

const MessageEntry& EntryOf(Message message)
{
    // The table lists the messages in their order.
    static_assert(std::size(Messages) == std::size_t(Message::SourceChanged) + 1);
    return Messages[std::size_t(message)];
}

// What each system error number that has a message of its own reads as.
struct SystemMessage {
    int error;
    Message message;
};

constexpr SystemMessage SystemMessages[] = {
    {ENOENT, Message::FileNotFound},       {ENOTDIR, Message::BadFileName},      {ENAMETOOLONG, Message::BadFileName},
    {EINVAL, Message::BadFileName},        {ELOOP, Message::BadFileName},        {EMFILE, Message::TooManyOpenFiles},
    {ENFILE, Message::TooManyOpenFiles},   {ENOMEM, Message::OutOfResources},    {EACCES, Message::AccessDenied},
    {EPERM, Message::AccessDenied},        {EISDIR, Message::FolderNotFile},
};

} // namespace

std::string MessageText(Message message, std::initializer_list<std::string_view> arguments)
{
    const std::string_view text = EntryOf(message).text;
    std::string filled;
    filled.reserve(text.size());
    auto argument = arguments.begin();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "%s") == 0 && argument != arguments.end()) {
            filled += *argument++;
            ++i;
        } else {
            filled += text[i];
        }
    }
    return filled;
}

Error Failure(Message message, std::initializer_list<std::string_view> arguments, std::string file)
{
    return Error(MessageText(message, arguments), EntryOf(message).kind, std::move(file));
}

Error SystemFailure(int error, std::string file)
{
    for (const SystemMessage& entry : SystemMessages)
        if (entry.error == error)
            return Failure(entry.message, {}, std::move(file));
    return Failure(Message::SystemErrorNumber, {std::to_string(error)}, std::move(file));
}

Error CreateFailure(const std::string& path, int error)
{
    if (error == ELOOP)
        return Failure(Message::LinkLoop, {path});
    if (error == ENOMEM)
        return Failure(Message::OutOfResources, {}, path);
    ErrorKind kind = ErrorKind::Other;
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        kind = ErrorKind::Access;
        break;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
        kind = ErrorKind::NotFound;
        break;
    case EMFILE:
    case ENFILE:
        kind = ErrorKind::Resources;
        break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        kind = ErrorKind::Write;
        break;
    case EISDIR:
        kind = ErrorKind::Usage;
        break;
    default:
        break;
    }
    return Error(MessageText(Message::CannotCreateFile, {path}), kind);
}

Error Cancellation()
{
    return Error("", ErrorKind::Cancelled);
}

} // namespace morvaleth
