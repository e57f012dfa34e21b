#include "composer/Messages.h"

#include <cerrno>
#include <cstring>
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
    {Message::NegativeSize, "画像の大きさに負の数 %s は使えません", ErrorKind::Usage},
    {Message::TooManyColumnStamps,
     "%s × %s の縦書きにｻｲｽﾞ %s の文字を並べるにはﾒﾓﾘが足りません (ｻｲｽﾞを大きくするか、横書きにして下さい)",
     ErrorKind::Resources},
    {Message::NoRecipe, "ﾌｧｲﾙ %s には作り方が記録されていません", ErrorKind::Usage},
    {Message::UnknownPaper, "用紙 '%s' はありません (%s)", ErrorKind::Usage},
    {Message::UnusableResolution, "解像度 '%s' は使えません (%s から %s dpi まで)", ErrorKind::Usage},
    {Message::EmbeddingForbidden,
     "ﾌｫﾝﾄ '%s' は埋め込みが許されていないので、文字を輪郭で描きます (ﾃｷｽﾄとしては読めません)", ErrorKind::Font},
    {Message::SourceChanged, "元になるﾃｷｽﾄﾌｧｲﾙが作成の後で変わりました", ErrorKind::Usage},
    {Message::ReasonNoSpace, "ﾃﾞｨｽｸに空きがありません", ErrorKind::Write},
    {Message::ReasonQuota, "ﾃﾞｨｽｸの使用量の上限を越えました", ErrorKind::Write},
    {Message::ReasonReadOnly, "読み取り専用のﾌｧｲﾙ ｼｽﾃﾑです", ErrorKind::Access},
    {Message::ReasonAccessDenied, "ｱｸｾｽが拒否されました", ErrorKind::Access},
    {Message::ReasonNoFolder, "ﾌｫﾙﾀﾞ %s がありません", ErrorKind::NotFound},
    {Message::ReasonFolderReadOnly, "ﾌｫﾙﾀﾞ %s に書き込めません", ErrorKind::Access},
    {Message::ReasonFileTooLarge, "ﾌｧｲﾙ ｻｲｽﾞの上限を越えました", ErrorKind::Write},
    {Message::ReasonDeviceError, "ﾃﾞﾊﾞｲｽの I/O ｴﾗｰです", ErrorKind::Write},
    {Message::ReasonIsFolder, "ﾌｫﾙﾀﾞです", ErrorKind::Usage},
    {Message::ReasonNameTooLong, "名前が長すぎます", ErrorKind::NotFound},
    {Message::ReasonNoReader, "読み手がいません", ErrorKind::Write},
    {Message::ReasonSystemError, "ｼｽﾃﾑ ｴﾗｰ %s (%s)", ErrorKind::Other},
};

const MessageEntry& EntryOf(Message message)
{
    // The table lists the messages in their order.
    static_assert(std::size(Messages) == std::size_t(Message::ReasonSystemError) + 1);
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

namespace {

// What each system error number a save can meet reads as after its message.
struct SystemReason {
    int error;
    Message reason;
};

constexpr SystemReason SystemReasons[] = {
    {ENOSPC, Message::ReasonNoSpace},        {EDQUOT, Message::ReasonQuota},
    {EROFS, Message::ReasonReadOnly},        {EACCES, Message::ReasonAccessDenied},
    {EPERM, Message::ReasonAccessDenied},    {EFBIG, Message::ReasonFileTooLarge},
    {EIO, Message::ReasonDeviceError},       {EISDIR, Message::ReasonIsFolder},
    {ENAMETOOLONG, Message::ReasonNameTooLong}, {EPIPE, Message::ReasonNoReader},
};

ErrorKind CreateKind(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return ErrorKind::Access;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
        return ErrorKind::NotFound;
    case EMFILE:
    case ENFILE:
        return ErrorKind::Resources;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ErrorKind::Write;
    case EISDIR:
        return ErrorKind::Usage;
    default:
        return ErrorKind::Other;
    }
}

} // namespace

std::string ReasonText(int error)
{
    for (const SystemReason& entry : SystemReasons)
        if (entry.error == error)
            return MessageText(entry.reason);
    const char* name = ::strerrorname_np(error);
    return MessageText(Message::ReasonSystemError, {name != nullptr ? name : "?", std::to_string(error)});
}

Error CreateFailure(const std::string& path, int error)
{
    if (error == ELOOP)
        return Failure(Message::LinkLoop, {path});
    if (error == ENOMEM)
        return Failure(Message::OutOfResources, {}, path);
    return Error(MessageText(Message::CannotCreateFile, {path}), CreateKind(error), {}, ReasonText(error));
}

Error FolderFailure(const std::string& path, const std::string& folder, int error)
{
    std::string reason;
    if (error == ENOENT || error == ENOTDIR)
        reason = MessageText(Message::ReasonNoFolder, {folder});
    else if (error == EACCES || error == EPERM)
        reason = MessageText(Message::ReasonFolderReadOnly, {folder});
    else
        return CreateFailure(path, error);
    return Error(MessageText(Message::CannotCreateFile, {path}), CreateKind(error), {}, std::move(reason));
}

Error WriteFailure(const std::string& file, int error)
{
    return Error(MessageText(Message::WriteFailed), EntryOf(Message::WriteFailed).kind, file, ReasonText(error));
}

Error Cancellation()
{
    return Error("", ErrorKind::Cancelled);
}

} // namespace morvaleth
