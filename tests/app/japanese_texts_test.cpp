// Qt's own texts speak the operator's language, as assistive technology reads them: the
// answers of a question and the parts of the file dialog.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "app/message_boxes.h"
#include "core/model.h"
#include "dialogs/file_dialogs.h"

namespace tqv::test {
namespace {

// Runs `open` (which shows a modal window), reads every name and description in that
// window's accessibility tree while it is up, then `close`s it.
template <typename Window>
QStringList texts_of_modal(const std::function<void()>& open, const std::function<void(Window*)>& close) {
    QStringList texts;
    std::function<void(QAccessibleInterface*, int)> walk = [&](QAccessibleInterface* a, int depth) {
        if (a == nullptr || depth > 12) return;
        for (auto t : {QAccessible::Name, QAccessible::Description})
            if (!a->text(t).isEmpty()) texts << a->text(t);
        // The files listed are the folder's, not texts of the dialog.
        if (a->role() == QAccessible::Table || a->role() == QAccessible::Tree || a->role() == QAccessible::List)
            return;
        for (int i = 0; i < a->childCount(); ++i) walk(a->child(i), depth + 1);
    };
    QTimer::singleShot(0, [&] {
        auto* w = qobject_cast<Window*>(QApplication::activeModalWidget());
        if (w == nullptr) return;
        walk(QAccessible::queryAccessibleInterface(w), 0);
        close(w);
    });
    open();
    return texts;
}

bool has(const QStringList& texts, const char* part) {
    return !texts.filter(QString::fromUtf8(part)).isEmpty();
}

TEST(JapaneseTexts, QuestionsAndFileDialogsAreJapanese) {
    Model model;
    MessageBoxUi ui;
    bool answer = true;
    const QStringList question = texts_of_modal<QMessageBox>(
        [&] { answer = ui.ask("データを保存せずに終了しますか？", "TQV-7310NX"); },
        [](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
    EXPECT_FALSE(answer) << "いいえ is No";
    EXPECT_TRUE(has(question, "はい") && has(question, "いいえ")) << question.join('|').toStdString();
    EXPECT_FALSE(has(question, "Yes") || has(question, "No")) << question.join('|').toStdString();

    QtFileDialogs files;
    std::optional<std::string> chosen = "none";
    const QStringList dialog = texts_of_modal<QFileDialog>(
        [&] { chosen = files.choose_open(nullptr); }, [](QFileDialog* d) { d->reject(); });
    EXPECT_EQ(chosen, std::nullopt);
    const std::string all = dialog.join('|').toStdString();
    for (const char* part : {"キャンセル", "ファイル名", "ファイルの種類", "データ(*.dat)"})
        EXPECT_TRUE(has(dialog, part)) << part << " in " << all;
    for (const char* english : {"Cancel", "File name", "Files of type", "Look in"})
        EXPECT_FALSE(has(dialog, english)) << english << " in " << all;
}

}  // namespace
}  // namespace tqv::test
