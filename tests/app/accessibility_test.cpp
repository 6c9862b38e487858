// What assistive technology finds: every control of every dialog has a name that says
// what it is (no two buttons alike), and the keyboard reaches every part of a dialog.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "app/menu_commands.h"
#include "app_fixture.h"
#include "glyphs/glyph_list_dialog.h"

namespace tqv::test {
namespace {

bool is_control(QWidget* w) {
    return qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
           qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
           qobject_cast<QAbstractItemView*>(w) || qobject_cast<QProgressBar*>(w) ||
           dynamic_cast<GlyphPreview*>(w) != nullptr || (w->focusPolicy() & Qt::TabFocus);
}

// What a screen reader says a control is: its accessible name, else the label it is
// related to (a buddy label, a group box caption), else a button's own text. On Linux a
// list's accessible name is its current item: only the label relation says what it is.
QString what_it_is(QWidget* w) {
    if (w == nullptr) return {};
    if (!w->accessibleName().isEmpty() && !qobject_cast<QComboBox*>(w)) return w->accessibleName();
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    for (const auto& [label, relation] : a->relations(QAccessible::Label)) {
        if (!label->text(QAccessible::Name).isEmpty()) return label->text(QAccessible::Name);
    }
    return qobject_cast<QAbstractButton*>(w) ? a->text(QAccessible::Name) : QString();
}

// Every control of `root` has a name (the parts of a list, a table or a spin box are their
// owner's), and no two buttons alike: several "設定" in one dialog each say what they set.
void expect_named(QWidget& root) {
    QStringList buttons;
    for (QWidget* w : root.findChildren<QWidget*>()) {
        QWidget* owner = w->parentWidget();
        if (!is_control(w) || qobject_cast<QComboBox*>(owner) || qobject_cast<QAbstractItemView*>(owner) ||
            qobject_cast<QAbstractSpinBox*>(owner))
            continue;
        EXPECT_FALSE(what_it_is(w).isEmpty()) << root.windowTitle().toStdString() << ": " << w->metaObject()->className();
        if (qobject_cast<QPushButton*>(w)) buttons << what_it_is(w);
    }
    const QStringList all = buttons;
    EXPECT_EQ(buttons.removeDuplicates(), 0) << all.join(u'|').toStdString();
}

class AccessibilityTest : public DialogTest {
  protected:
    QDialog* open_only(int command) {
        for (const auto& d : opener.opened) delete d.data();
        opener.opened.clear();
        window->run_command(command);
        return opener.last<QDialog>();
    }
    // What the focus names on each of `count` presses of Tab.
    static QStringList tab_walk(QDialog* dialog, int count) {
        QApplication::setActiveWindow(dialog);
        QStringList walk;
        for (int i = 0; i < count; ++i) {
            QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
            QApplication::sendEvent(QApplication::focusWidget(), &tab);
            walk << what_it_is(QApplication::focusWidget());
        }
        return walk;
    }
};

TEST_F(AccessibilityTest, EveryControlOfEveryDialogHasAName) {
    std::vector<int> commands = command::kSubsystemCommands;
    commands.insert(commands.end(), {command::kPageSwitch, command::kStartupPage, command::kVersion,
                                     command::kGlyphNote, command::kGlyphEditor});
    for (int c : commands) {
        // Some dialogs are offered on RS-232C only, others on TCP/IP only.
        model.interface_kind = 0;
        QDialog* dialog = open_only(c);
        model.interface_kind = 1;
        if (dialog == nullptr) dialog = open_only(c);
        ASSERT_NE(dialog, nullptr) << c;
        expect_named(*dialog);
    }
    // The windows kept open beside the main window.
    for (int c : {command::kCueList, command::kOnAir, command::kTrafficLog}) window->run_command(c);
    for (QWidget* w : std::initializer_list<QWidget*>{window->cue_window(), window->on_air_window(), window->traffic_window()})
        expect_named(*w);
}

TEST_F(AccessibilityTest, GlyphPreviewsAreNamedByTheirGlyphNumber) {
    auto* list = qobject_cast<GlyphListDialog*>(open_only(command::kGlyphList));
    ASSERT_NE(list, nullptr);
    for (const auto& [group, first, last] :
         {std::tuple{0, "外字 01", "外字 14"}, std::tuple{1, "外字 15", "外字 28"}}) {
        list->group_list()->setCurrentIndex(group);
        EXPECT_EQ(what_it_is(list->preview(0)), QString::fromUtf8(first));
        EXPECT_EQ(what_it_is(list->preview(13)), QString::fromUtf8(last));
    }
}

TEST_F(AccessibilityTest, TabWalksTheTitleDialogAsItIsRead) {
    QDialog* dialog = open_only(command::kTitleSetting);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(tab_walk(dialog, 10).join(u'|').toStdString(),
              "タイトル 設定|タイトル 全設定|タイトル Not Memory|タイトル NM全設定|高速転送|Close|"
              "Channel Number|Page Number|Slave Address|Title");
}

TEST_F(AccessibilityTest, TabReachesTheGlyphPreviewsAndTheEditorsGrid) {
    for (auto [command, stop] :
         {std::pair{command::kGlyphList, "外字 01"}, std::pair{command::kGlyphEditor, "外字"}}) {
        QDialog* dialog = open_only(command);
        ASSERT_NE(dialog, nullptr);
        const QStringList walk = tab_walk(dialog, 30);
        EXPECT_TRUE(walk.contains(QString::fromUtf8(stop))) << walk.join(u'|').toStdString();
        EXPECT_FALSE(walk.contains(QStringLiteral("外字 02"))) << "one Tab stop for the previews";
    }
}

// What the status bar and the time left show is what a screen reader reads; the
// description says what each is. --simulate is said in the link's text.
TEST_F(AccessibilityTest, StatusAndTimeLeftAreReadAsShown) {
    model.com_device = "/dev/pts/7";
    link.set_simulated_port(QStringLiteral("/dev/pts/7"));
    window->link_status()->refresh();
    EXPECT_EQ(window->link_status()->link_text(), QStringLiteral("RS-232C /dev/pts/7 9600 8E1 シミュレーター"));
    QList<QLabel*> labels = window->link_status()->findChildren<QLabel*>();
    for (QLabel* l : open_only(command::kGlyphList)->findChildren<QLabel*>()) {
        if (l->accessibleDescription() == QStringLiteral("Time left")) labels << l;
    }
    ASSERT_EQ(labels.size(), 6) << "link, state, last exchange, show control, remote lock, time left";
    labels.back()->setText(QStringLiteral("残り 00:12"));
    for (QLabel* l : labels) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(l);
        EXPECT_EQ(a->text(QAccessible::Name), l->text());
        EXPECT_EQ(a->text(QAccessible::Description), l->accessibleDescription());
    }
}

}  // namespace
}  // namespace tqv::test
