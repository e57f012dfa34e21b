#pragma once

#include "composer/Error.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace morvaleth {

// Every message the program shows the user, the driver and the window alike.
// The table in Messages.cpp holds each one's text and the kind of failure it
// reports; "%s" in a text takes the message's arguments in order.
enum class Message {
    OutOfResources,       // ｼｽﾃﾑ ﾘｿｰｽが足りません
    WriteFailed,          // ｽﾄﾘｰﾑへの書き込みｴﾗｰ
    FileNotFound,         // ﾌｧｲﾙが見つかりません
    BadFileName,          // 不正なﾌｧｲﾙ名です
    TooManyOpenFiles,     // ｵｰﾌﾟﾝしたﾌｧｲﾙが多すぎます
    AccessDenied,         // ﾌｧｲﾙへのｱｸｾｽが拒否されました
    FolderNotFile,        // ﾌｧｲﾙではなくﾌｫﾙﾀﾞです
    SystemErrorNumber,    // I/O ｴﾗｰ (number)
    NotAnInteger,         // 'text' は整数ではありません
    CannotCreateFile,     // ﾌｧｲﾙ path を作成できません
    LinkLoop,             // ﾌｧｲﾙ path はｼﾝﾎﾞﾘｯｸ ﾘﾝｸのﾙｰﾌﾟです
    OutputIsSource,       // ﾌｧｲﾙ path は元になるﾃｷｽﾄﾌｧｲﾙなので上書きできません
    CannotOpenFont,       // ﾌｫﾝﾄ 'name' を開けません
    FontNotInstalled,     // ﾌｫﾝﾄ 'name' はｲﾝｽﾄｰﾙされていません
    NoFonts,              // ﾌｫﾝﾄがありません
    UnusableFontSize,     // ﾌｫﾝﾄ ｻｲｽﾞ n は使えません (1 から m まで)
    EncodingUnavailable,  // 文字コード変換 name を利用できません
    BeyondFormat,         // w × h の画像は保存できません (limit)
    NoPixelsToSave,       // w × h の画像には画素がないので保存できません
    ChooseSourceFile,     // 元になるテキストファイルを選択して下さい。
    ScrollRangeRefused,   // ｽｸﾛｰﾙﾊﾞｰ ﾌﾟﾛﾊﾟﾃｨが範囲を越えました
    ScrollRangeTooLarge,  // Scrollbar ranges > 65535 not supported
    NegativeSize,         // 画像の大きさに負の数 n は使えません
    TooManyColumnStamps,  // w × h の縦書きにｻｲｽﾞ n の文字を並べるにはﾒﾓﾘが足りません (...)
    NoRecipe,             // ﾌｧｲﾙ path には作り方が記録されていません
    UnknownPaper,         // 用紙 'name' はありません (A4, ...)
    UnusableResolution,   // 解像度 'text' は使えません (n から m dpi まで)
    EmbeddingForbidden,   // ﾌｫﾝﾄ 'name' は埋め込みが許されていないので、文字を輪郭で描きます (ﾃｷｽﾄとしては読めません)
    SourceChanged,        // 元になるﾃｷｽﾄﾌｧｲﾙが作成の後で変わりました

    // The system's reasons, shown after a message that does not tell them.
    ReasonNoSpace,        // ﾃﾞｨｽｸに空きがありません
    ReasonQuota,          // ﾃﾞｨｽｸの使用量の上限を越えました
    ReasonReadOnly,       // 読み取り専用のﾌｧｲﾙ ｼｽﾃﾑです
    ReasonAccessDenied,   // ｱｸｾｽが拒否されました
    ReasonNoFolder,       // ﾌｫﾙﾀﾞ path がありません
    ReasonFolderReadOnly, // ﾌｫﾙﾀﾞ path に書き込めません
    ReasonFileTooLarge,   // ﾌｧｲﾙ ｻｲｽﾞの上限を越えました
    ReasonDeviceError,    // ﾃﾞﾊﾞｲｽの I/O ｴﾗｰです
    ReasonIsFolder,       // ﾌｫﾙﾀﾞです
    ReasonNameTooLong,    // 名前が長すぎます
    ReasonNoReader,       // 読み手がいません
    ReasonSystemError,    // ｼｽﾃﾑ ｴﾗｰ NAME (number)
};

// The message's text with its arguments put in.
std::string MessageText(Message message, std::initializer_list<std::string_view> arguments = {});

// The error that reports the message, of the message's kind; `file` names the
// file it concerns when the text does not.
Error Failure(Message message, std::initializer_list<std::string_view> arguments = {}, std::string file = {});

// The error for a file that failed to open, read or close with the system
// error number `error`, naming the file as the error's file. A folder
// (EISDIR) is told as such; a missing folder on the way (ENOTDIR) as a bad
// name.
Error SystemFailure(int error, std::string file = {});

// The error for a file that cannot be opened for writing or created, from
// the system's error number: a link loop and a want of memory have messages
// of their own, every other cause says that the file cannot be created, with
// the system's reason.
Error CreateFailure(const std::string& path, int error);

// The error for a file that cannot be created because its folder `folder`
// cannot take a new file: missing, not writable, or for the system's reason.
Error FolderFailure(const std::string& path, const std::string& folder, int error);

// The error for bytes that cannot be written to `file`, with the system's
// reason (a full disk, the file-size limit).
Error WriteFailure(const std::string& file, int error);

// The system's reason for the error number, as shown after a message.
std::string ReasonText(int error);

// The error of a run that was asked to stop; nothing is shown for it.
Error Cancellation();

} // namespace morvaleth
