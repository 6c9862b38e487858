// The system's own message texts and captions, exactly as the operator knows them.
#pragma once

namespace tqv::text {

// captions
inline constexpr const char* kAppCaption = "TQV-7310NX";
inline constexpr const char* kDoneCaption = "設定完了";
inline constexpr const char* kConfirmCaption = "本機の確認";
inline constexpr const char* kNewCaption = "新規作成";

// send path
inline constexpr const char* kNoConnect = "No Connect";
inline constexpr const char* kSocketNotConnected = "Socket が接続されていません";
inline constexpr const char* kSocketSend = "Socket 送信";
inline constexpr const char* kAnswerTimeout = "Answer が､きません";
inline constexpr const char* kConfirmNotSwitching = "本機が自動切換えでない事を確認してください";
// Commands that never went out because the link gave up: they are named, never dropped
// silently. Followed by the command heads, separated by blanks.
inline constexpr const char* kNotSent = "送信されなかったコマンド:";

// The one message of a bulk run that ended early (the step, its command, the answered
// count). A run stopped by the operator and a run ended by a fault read differently.
inline constexpr const char* kRunStoppedAt = "中止しました";
inline constexpr const char* kRunFaultAt = "中断しました";
inline constexpr const char* kRunStep = "ステップ";
inline constexpr const char* kRunAnswered = "応答済み";
inline constexpr const char* kRunStoppedCaption = "中止";
// A cue that ended early is named before the step: キュー "NAME" ステップ 2/4 ...
inline constexpr const char* kCue = "キュー";

// answers
inline constexpr const char* kSuccess = "Success";
inline constexpr const char* kSocketOk = "Socket ＯＫ";
inline constexpr const char* kSocketReadOk = "Socket Read ＯＫ";
inline constexpr const char* kAutoSwitching = "自動切換え中！";
inline constexpr const char* kSocketAutoSwitching = "Socket 自動切換え中！";
inline constexpr const char* kModeDifference = "Mode difference";
inline constexpr const char* kSocketModeDifference = "Socket mode difference";
inline constexpr const char* kMenuDisplay = "Menu Display";
inline constexpr const char* kSocketMenuDisplay = "Socket Menu Display";
inline constexpr const char* kFramingError = "Framing Error";
inline constexpr const char* kSocketFraming = "Socket Framing";
inline constexpr const char* kParityError = "Parity Error";
inline constexpr const char* kSocketParity = "Socket Parity";
inline constexpr const char* kOverrunError = "Over run Error";
inline constexpr const char* kSocketOverrun = "Socket Over run";
inline constexpr const char* kCommandError = "Command Error";
inline constexpr const char* kSocketCommand = "Socket Command";

// titles
inline constexpr const char* kNotJis = "ＪＩＳ第１水準,第２水準以外の字が選択されてます";
inline constexpr const char* kTitleTooLong = "タイトルは28バイトまでです。";
// A title that cannot be sent whole, said plainly (under the title dialog's field, and for
// a remote request, a cue file or the tool): the characters that cannot be sent, each in 「」, and the limit, followed by the
// count in （N文字）.
inline constexpr const char* kTitleUnsendable = "送信できない文字があります: ";
inline constexpr const char* kTitleLimit = "タイトルは全角14文字までです";
inline constexpr const char* kTitleNotUtf8 = "UTF-8 の文字ではありません";
// The same for show control's JSON errors and the cue file's messages, which are English.
inline constexpr const char* kTitleRefusedEn = "text cannot be sent: ";
inline constexpr const char* kTitleUnsendableEn = "characters the device cannot show: ";
inline constexpr const char* kTitleLimitEn = " characters, at most 14";  // after the count
inline constexpr const char* kTitleNotUtf8En = "not UTF-8";

// read settings (a maintenance function)
inline constexpr const char* kReadMaintenanceOnly =
    "メインテナンス以外で読み込み動作を行わないでください。";

// files
inline constexpr const char* kCantFileOpen = "Can't file open";
inline constexpr const char* kDontFileOpen = "Don't file open";
inline constexpr const char* kAskNew = "データを保存せずに新規作成しますか？";
inline constexpr const char* kAskOpen = "データを保存せずに別のファイルを開きますか？";
inline constexpr const char* kAskExit = "データを保存せずに終了しますか？";
inline constexpr const char* kAskClearGlyph = "データを保存せずにクリアしますか？";
inline constexpr const char* kAskExitGlyphs = "外字データを保存せずに終了しますか？";
inline constexpr const char* kAskCloseGlyphs = "外字データを保存せずに閉じますか？";
inline constexpr const char* kAskNewGlyphs = "外字データを保存せずに新規作成しますか？";
// Before a read from the device fills glyph slots that hold unsaved glyphs.
inline constexpr const char* kAskReadOverGlyphs =
    "保存していない外字データがあります。リードで上書きしますか？";
// After the extension was added to the chosen name, which the file dialog did not see.
inline constexpr const char* kAskOverwriteTail = " は既に存在します。\n上書きしますか？";
// file dialogs
inline constexpr const char* kOpenDialogTitle = "ファイルのオープン";
inline constexpr const char* kSaveDialogTitle = "ファイルの保存";
inline constexpr const char* kDocumentFilter = "データ(*.dat)";
inline constexpr const char* kGlyphListFilter = "データ(*.tll)";
inline constexpr const char* kBitmapFilter = "データ(*.bmp)";
inline constexpr const char* kCueListFilter = "キューリスト(*.csv)";
// The cue list window.
inline constexpr const char* kCueListTitle = "キューリスト";
inline constexpr const char* kAskOpenCues = "キューリストを保存せずに別のファイルを開きますか？";
inline constexpr const char* kAskCloseCues = "キューリストを保存せずに閉じますか？";
inline constexpr const char* kAskExitCues = "キューリストを保存せずに終了しますか？";
// A title step with no text clears that title: shown so in the list, and asked about before
// the first GO that would send it from a list not saved with it. The titles follow the head.
inline constexpr const char* kBlankTitle = "(空白)";
inline constexpr const char* kAskBlankTitles = "次のタイトルを空白にします。送信しますか？";
// The cue window's status line.
inline constexpr const char* kCueRunning = "実行中";
inline constexpr const char* kCueCompleted = "完了";
inline constexpr const char* kCueWaitLeft = "待機中 残り";  // followed by the seconds
inline constexpr const char* kSeconds = "秒";
inline constexpr const char* kCueNoEditWhileRunning = "キューの実行中は編集できません";
inline constexpr const char* kCueNoLoadWhileRunning = "キューの実行中は読み込めません";
inline constexpr const char* kCueNameEmpty = "キュー名を入力してください";
inline constexpr const char* kCueNameTaken = "同じ名前のキューがあります: ";  // then the name
// Why GO did nothing.
inline constexpr const char* kCueGoRunning = "キューの実行中です";
inline constexpr const char* kCueGoNoNext = "次のキューがありません";
inline constexpr const char* kCueGoLinkBusy = "一括転送の実行中です";
inline constexpr const char* kCueGoLinkDown = "本機と接続されていません";
inline constexpr const char* kCueGoNotConfirmed = "送信しませんでした";
// What became of each step.
inline constexpr const char* kStepSent = "送信済み";
inline constexpr const char* kStepDone = "完了";
inline constexpr const char* kStepFailed = "失敗";
inline constexpr const char* kStepStopped = "中止";
inline constexpr const char* kStepNotSent = "未送信";
inline constexpr const char* kAllFilesFilter = "すべて(*.*)";
// main window text when there is no document
inline constexpr const char* kNoFileName = "File Name ";
// the window title's name for a document that has none yet
inline constexpr const char* kUntitled = "無題";

// glyphs
inline constexpr const char* kGlyphNumber = "外字登録番号";
inline constexpr const char* kExportTitleTail = "をbmpファイルで保存";  // after the number
// The editor would move the glyph number a transfer is walking (and register at its step).
inline constexpr const char* kEditorDuringTransfer =
    "外字の転送中は外字登録を開けません。転送が終わってから開いてください。";

// serial port
inline constexpr const char* kMissFileOpen = "Miss! File Open";
inline constexpr const char* kMissMaskSet = "Miss! Mask Set";
inline constexpr const char* kMissBufferSet = "Miss! Buffer Set";
inline constexpr const char* kMissTimeOutSet = "Miss! Time Out Set";
inline constexpr const char* kMissSetCommState = "Miss! Set Comm State";
inline constexpr const char* kReadThreadError = "error creating read thread";
// The port went away while open (adapter unplugged, far end of a pseudo-terminal closed).
inline constexpr const char* kSerialPortLost = "COM port が切断されました";
// Another port was chosen while a command awaited its answer on this one.
inline constexpr const char* kSerialPortClosed = "COM port を閉じました";

// Link events as the traffic log and --log record them, after the port or the address.
inline constexpr const char* kLinkOpened = "オープンしました";
inline constexpr const char* kLinkNotOpened = "オープンできません";  // : the box, the reason
inline constexpr const char* kLinkConnected = "接続しました";
inline constexpr const char* kLinkNotConnected = "接続できません";  // : the reason
inline constexpr const char* kLinkClosed = "切断しました";  // by the operator
inline constexpr const char* kLinkLost = "切断されました";
inline constexpr const char* kLinkBack = "再接続しました";

// TCP transport (caption "TQV-7310NX")
inline constexpr const char* kWinsockMissing = "WINSOCK.DLLが導入されていません。";
inline constexpr const char* kWinsockVersion = "WINSOCK.DLLのバーションが違います。";
inline constexpr const char* kWinsockNotWorking = "WINSOCK.DLLが動作していません。[%d]";
inline constexpr const char* kWinsockSelect = "WINSOCK.DLLの WSAAsyncSelect() からのエラー。[%d]";
inline constexpr const char* kCannotConnect = "接続できません";
inline constexpr const char* kCannotBind = "Bindできません";
inline constexpr const char* kListenError = "WINSOCK.DLLの listen() からのエラー。[%d]";
inline constexpr const char* kAcceptError = "WINSOCK.DLLの accept() からのエラー。[%d]";
inline constexpr const char* kSocketEventError = "ソケットイベントにエラーが発生しました。";
inline constexpr const char* kNetworkEventError = "ﾈｯﾄﾜｰｸ･ｴﾗｰ(event %d)";
inline constexpr const char* kSocketConnectOk = "Socket 接続 OK";
inline constexpr const char* kSocketDisconnectOk = "Socket 切断 OK";

// network dialogs
// An address field left incomplete ("192.168."): nothing is stored or sent.
inline constexpr const char* kAddressInvalid = "IPアドレスが正しくありません。";
// A port outside 1..65535.
inline constexpr const char* kPortInvalid = "ポート番号が正しくありません。";
// The host list holds 256 hosts; the configuration file has keys for no more.
inline constexpr const char* kHostListFull = "ホストリストに追加できません（256件まで）。";

// main window
inline constexpr const char* kSecondCopy = "２重に起動はできません";
// Exit while a TCP connection is up: はい disconnects and ends, いいえ keeps both.
inline constexpr const char* kAskDisconnectAndExit = "TCP/IPで接続中です。切断して終了しますか？";
// Under the interface and role lists while they cannot be changed.
inline constexpr const char* kLockedWhileConnected =
    "TCP/IP接続中は変更できません。切断してから変更してください。";
inline constexpr const char* kUseRs232c = "インターフェースをRS-232Cにしてください。";
inline constexpr const char* kClientCaption = "TQV-7310 Client Program";
inline constexpr const char* kServerCaption = "TQV-7310 Server Program";

}  // namespace tqv::text
