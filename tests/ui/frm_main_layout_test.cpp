// The window as built: components and their names, the exact layout, captions, Tags, tab order,
// menus, the Open dialog's filter, the font and the drawn glyphs.

#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QTest>

#include "ui/frm_main.h"
#include "ui/glyphs.h"
#include "ui/widgets.h"
#include "ui_test_support.h"

using ui::TFrmMain;

class FrmMainLayoutTest : public QObject {
  Q_OBJECT

 private:
  static QStringList Captions(const QList<QAction*>& actions) {
    QStringList captions;
    for (const QAction* action : actions) {
      captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return captions;
  }

 private slots:
  void ClientAreaAndPanels() {
    ui_test::ScriptedPrompter prompter;
    TFrmMain window(prompter, QStringLiteral("Mdbedit"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QWidget* client = window.centralWidget();
    QCOMPARE(client->size(), QSize(1105, 539));
    QCOMPARE(window.Panel2->geometry(), QRect(0, 0, 1105, 67));
    QCOMPARE(window.PageControl->geometry(), QRect(0, 67, 1105, 431));
    QCOMPARE(window.Panel1->geometry(), QRect(0, 498, 1105, 41));
    QCOMPARE(window.Panel1->Caption(), QStringLiteral("Panel1"));
    QVERIFY(window.Panel2->Caption().isEmpty());
    QCOMPARE(window.Panel1->frameShadow(), QFrame::Raised);
    QCOMPARE(window.Panel1->lineWidth(), 1);
    QCOMPARE(window.PageControl->count(), 0);
    QCOMPARE(window.windowTitle(), QStringLiteral("[https://mdbedit.example.org] VAVuvazuvu"));
    QVERIFY(window.menuBar() == window.MainMenu);
    QVERIFY(!window.windowIcon().isNull());
  }

  void ToolbarButtons() {
    ui_test::ScriptedPrompter prompter;
    TFrmMain window(prompter, QStringLiteral("Mdbedit"));
    const QList<ui::TRzBitBtn*> buttons = {
        window.RzBitBtnFirst,  window.RzBitBtnPrior,  window.RzBitBtnNext, window.RzBitBtnLast,
        window.RzBitBtnInsert, window.RzBitBtnDelete, window.RzBitBtnEdit, window.RzBitBtnPost,
        window.RzBitBtnCancel, window.RzBitBtnRefresh};
    const QStringList names = {"RzBitBtnFirst",  "RzBitBtnPrior",  "RzBitBtnNext", "RzBitBtnLast",
                               "RzBitBtnInsert", "RzBitBtnDelete", "RzBitBtnEdit", "RzBitBtnPost",
                               "RzBitBtnCancel", "RzBitBtnRefresh"};
    const QStringList captions = {"首页", "上一个", "下一个", "尾页", "增加",
                                  "删除", "编辑",   "提交",   "取消", "刷新"};
    const int lefts[] = {16, 95, 175, 255, 335, 415, 495, 575, 655, 735};
    for (int i = 0; i < buttons.size(); ++i) {
      ui::TRzBitBtn* button = buttons[i];
      QCOMPARE(button->objectName(), names[i]);
      QCOMPARE(button->parentWidget(), window.Panel2);
      QCOMPARE(button->text(), captions[i]);
      QCOMPARE(button->Tag(), i);
      QCOMPARE(button->geometry(), QRect(lefts[i], 13, 74, 36));
      QCOMPARE(button->iconSize(), QSize(16, 16));
      QVERIFY(!button->icon().isNull());
      QVERIFY(button->isEnabled());
    }
    // Tab order: the page area, then the buttons by Tag.
    QWidget* w = window.PageControl;
    for (ui::TRzBitBtn* button : buttons) {
      do {
        w = w->nextInFocusChain();
      } while (w->focusPolicy() == Qt::NoFocus || !window.isAncestorOf(w) ||
               (qobject_cast<ui::TRzBitBtn*>(w) == nullptr && w != window.PageControl));
      QCOMPARE(w, static_cast<QWidget*>(button));
    }
  }

  void MainMenuAndPopupMenu() {
    ui_test::ScriptedPrompter prompter;
    TFrmMain window(prompter, QStringLiteral("Mdbedit"));
    QCOMPARE(Captions(window.MainMenu->actions()), QStringList({"文件"}));
    QCOMPARE(window.MainMenu_File->objectName(), QStringLiteral("MainMenu_File"));
    QCOMPARE(window.MainMenu_File->actions(),
             QList<QAction*>({window.MainMenu_Open, window.MainMenu_OpenFile,
                              window.MainMenu_CLoseFile, window.MainMenu_Close}));
    QCOMPARE(Captions(window.MainMenu_File->actions()),
             QStringList({"打开", "最近打开", "关闭文件", "关闭"}));
    for (const QAction* item : window.MainMenu_File->actions()) {
      QVERIFY(item->shortcut().isEmpty());
      QVERIFY(item->isEnabled());
    }
    QCOMPARE(window.PopupMenu->actions(),
             QList<QAction*>({window.Menu_CopyRow, window.Menu_CopyCol, window.Menu_CopyField,
                              window.Menu_CopyTable, window.N1, window.Menu_Paste,
                              window.Menu_OrderStdItemIdxLine, window.Menu_OrderStdItemIdx}));
    QCOMPARE(Captions(window.PopupMenu->actions()),
             QStringList({"将行复制到剪贴板", "将列复制到剪贴板", "字段值复制到剪贴板",
                          "整个表复制到剪贴板", "-", "将剪贴板中数据导入到数据库里", "-",
                          "重新排序Idx字段"}));
    QVERIFY(window.Menu_OrderStdItemIdx->isVisible());
    QVERIFY(window.Menu_OrderStdItemIdxLine->isVisible());
    // The context menu belongs to the grids, not to the window.
    QCOMPARE(window.contextMenuPolicy(), Qt::DefaultContextMenu);
  }

  void OpenDialogFilterAndCancel() {
    ui_test::ScriptedPrompter prompter;
    TFrmMain window(prompter, QStringLiteral("Mdbedit"));
    prompter.CancelOpen();
    window.MainMenu_Open->trigger();
    QCOMPARE(prompter.open_dialogs, 1);
    QCOMPARE(prompter.last_filter, QStringLiteral("*.mdb (*.mdb)"));
    QVERIFY(window.OpenDialog->testOption(QFileDialog::HideNameFilterDetails));
    QCOMPARE(window.PageControl->count(), 0);
    QVERIFY(prompter.errors.isEmpty());
    // The same dialog object serves every Open command.
    QFileDialog* dialog = window.OpenDialog;
    window.MainMenu_Open->trigger();
    QCOMPARE(window.OpenDialog, dialog);
    QCOMPARE(prompter.open_dialogs, 2);
  }

  void CommandsWithoutAFileDoNothing() {
    ui_test::ScriptedPrompter prompter;
    TFrmMain window(prompter, QStringLiteral("Mdbedit"));
    window.MainMenu_CLoseFile->trigger();
    for (ui::TRzBitBtn* button : window.Panel2->findChildren<ui::TRzBitBtn*>()) button->click();
    for (QAction* item : window.PopupMenu->actions()) item->trigger();
    QVERIFY(prompter.errors.isEmpty());
    QVERIFY(prompter.questions.empty());
    QCOMPARE(window.PageControl->count(), 0);
  }

  void WindowFont() {
    ui_test::ScriptedPrompter prompter;
    TFrmMain window(prompter, QStringLiteral("Mdbedit"));
    const QFont font = window.font();
    QCOMPARE(font.pixelSize(), 12);
    QVERIFY(!font.bold() && !font.italic());
    const QStringList faces = {"微软雅黑", "Microsoft YaHei", "Noto Sans CJK SC"};
    QVERIFY2(faces.contains(font.family()), qPrintable(font.family()));
    QCOMPARE(window.RzBitBtnFirst->font().family(), font.family());
  }

  void GlyphsAreDrawnSymbols() {
    for (int i = 0; i <= static_cast<int>(ui::Glyph::kRefresh); ++i) {
      const auto glyph = static_cast<ui::Glyph>(i);
      const QImage blue = ui::DrawGlyph(glyph, QColor(0, 70, 200));
      QCOMPARE(blue.size(), QSize(16, 16));
      int inked = 0;
      for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) inked += qAlpha(blue.pixel(x, y)) > 128 ? 1 : 0;
      }
      QVERIFY2(inked >= 10 && inked < 200, qPrintable(QString::number(inked)));
      // Corners are background, drawn transparent.
      QCOMPARE(qAlpha(blue.pixel(0, 15)), 0);
      // Every symbol differs from every other.
      for (int j = 0; j < i; ++j) {
        QVERIFY(ui::DrawGlyph(static_cast<ui::Glyph>(j), QColor(0, 70, 200)) != blue);
      }
    }
    // Arrows point the right way: the right arrow is the mirror image of the left one.
    const QImage prior = ui::DrawGlyph(ui::Glyph::kPrior, Qt::blue);
    const QImage next = ui::DrawGlyph(ui::Glyph::kNext, Qt::blue);
    const QImage mirrored = prior.mirrored(true, false);
    int worst = 0;
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        worst = std::max(worst, std::abs(qAlpha(mirrored.pixel(x, y)) - qAlpha(next.pixel(x, y))));
      }
    }
    QVERIFY2(worst < 64, qPrintable(QString::number(worst)));
    // The left arrow's ink sits at its base on the right; its tip column is nearly empty.
    auto column_ink = [](const QImage& image, int x) {
      int ink = 0;
      for (int y = 0; y < 16; ++y) ink += qAlpha(image.pixel(x, y));
      return ink;
    };
    QVERIFY(column_ink(prior, 9) > 3 * column_ink(prior, 5));
    const QImage enabled = ui::GlyphIcon(ui::Glyph::kPost).pixmap(16, QIcon::Normal).toImage();
    const QImage disabled = ui::GlyphIcon(ui::Glyph::kPost).pixmap(16, QIcon::Disabled).toImage();
    QVERIFY(enabled != disabled);
  }
};

QTEST_MAIN(FrmMainLayoutTest)
#include "frm_main_layout_test.moc"
