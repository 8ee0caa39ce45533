#include "settings/TipText.h"

#include <QObject>

#include <iterator>

namespace orlix {

namespace {

struct Tip {
    const char16_t* control;
    const char16_t* text;
};

const char16_t kPathTip[] = u"画像ファイルのあるドライブやフォルダを指定します。"
                            u"ここにフォルダをマウスでドラッグ＆ドロップできます。";

// Looked up in this order, by exact, case-sensitive name. The full-width characters (＆, １,
// ～, the closing ）) are part of the texts.
const Tip kTips[] = {
    {u"LabPath", kPathTip},
    {u"CmbPath", kPathTip},
    {u"ChkLoop", u"ONの場合、すべての画像ファイルの表示が終了した後、"
                 u"先頭の画像ファイルの表示より繰り返します。"},
    {u"ChkSubFld", u"ONの場合、Pathで指定したドライブやフォルダの１つ下のフォルダの"
                   u"画像ファイルを表示します。"},
    {u"CmbExt", u"表示対象の画像ファイルの拡張子(bmp/jpg/gif)を選択します。"
                u"*(All)が選択された場合は、bmp/jpg/gifのすべてを対象とします。"},
    {u"TxtInterval", u"画像の表示を切り替える時間間隔(1～60秒）を指定します。"},
    {u"ChkSort", u"ONの場合、パス名とファイル名でソートします。"},
    {u"ChkRealSize", u"ONの場合、画像を実際のサイズで表示します。"},
    {u"ChkAuto", u"ONの場合、複数のサブフォルダの全ての画像を自動に表示します。"
                 u"方向キーを押した際に一時停止します。"
                 u"OFFの場合、方向キーを押した際に一時停止しません。"},
    {u"ChkGuide", u"ONの場合、画像表示中にキーボード操作ガイドと画像ファイル名を表示します。"},
    {u"CmdStart", u"画像スライドショーを開始します。"},
    {u"CmdExit", u"このプログラムを終了します。"},
};

} // namespace

QString GetTipText(const QString& windowName, const QString& controlName) {
    if (windowName != QStringView(u"FormSetting"))
        return {};
    for (const Tip& tip : kTips) {
        if (controlName == QStringView(tip.control))
            return QString::fromUtf16(tip.text);
    }
    return {};
}

QString GetTipText(const QObject& window, const QObject& control) {
    return GetTipText(window.objectName(), control.objectName());
}

} // namespace orlix
