#include "ui/frm_main.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>
#include <array>
#include <functional>

#include "database/connection.h"
#include "database/query.h"
#include "shared/table_page.h"
#include "ui/glyphs.h"
#include "ui/widgets.h"

namespace ui {
namespace {

// The web address in square brackets, then the product's name. Never changed at run time.
constexpr char kWindowCaption[] = "[https://mdbedit.example.org] VAVuvazuvu";
constexpr int kClientWidth = 1105;
constexpr int kClientHeight = 539;
constexpr int kTopPanelHeight = 67;
constexpr int kBottomPanelHeight = 41;
constexpr int kButtonTop = 13;
constexpr int kButtonWidth = 74;
constexpr int kButtonHeight = 36;
constexpr int kFontPixelHeight = 12;

// What a toolbar button does to the current page's query; `confirm` asks the delete question.
using ToolbarAction = void (*)(database::Query& query, const std::function<bool()>& confirm);

struct ButtonSpec {
  TRzBitBtn* TFrmMain::*member;
  const char* name;
  const char* caption;
  int left;
  Glyph glyph;
  ToolbarAction action;
};

// Post only while something is pending; otherwise nothing is written or reported.
void PostPending(database::Query& query, const std::function<bool()>& /*confirm*/) {
  const database::TDataSetState state = query.State();
  if (state == database::dsEdit || state == database::dsInsert || state == database::dsSetKey) {
    query.Post();
  }
}

// In Tag order: the Tag of each button is its index here.
const std::array<ButtonSpec, 10> kButtons = {{
    {&TFrmMain::RzBitBtnFirst, "RzBitBtnFirst", "首页", 16, Glyph::kFirst,
     [](database::Query& q, const std::function<bool()>&) { q.First(); }},
    {&TFrmMain::RzBitBtnPrior, "RzBitBtnPrior", "上一个", 95, Glyph::kPrior,
     [](database::Query& q, const std::function<bool()>&) { q.Prior(); }},
    {&TFrmMain::RzBitBtnNext, "RzBitBtnNext", "下一个", 175, Glyph::kNext,
     [](database::Query& q, const std::function<bool()>&) { q.Next(); }},
    {&TFrmMain::RzBitBtnLast, "RzBitBtnLast", "尾页", 255, Glyph::kLast,
     [](database::Query& q, const std::function<bool()>&) { q.Last(); }},
    {&TFrmMain::RzBitBtnInsert, "RzBitBtnInsert", "增加", 335, Glyph::kInsert,
     [](database::Query& q, const std::function<bool()>&) { q.Insert(); }},
    {&TFrmMain::RzBitBtnDelete, "RzBitBtnDelete", "删除", 415, Glyph::kDelete,
     [](database::Query& q, const std::function<bool()>& confirm) {
       if (confirm()) q.Delete();
     }},
    {&TFrmMain::RzBitBtnEdit, "RzBitBtnEdit", "编辑", 495, Glyph::kEdit,
     [](database::Query& q, const std::function<bool()>&) { q.Edit(); }},
    {&TFrmMain::RzBitBtnPost, "RzBitBtnPost", "提交", 575, Glyph::kPost, &PostPending},
    {&TFrmMain::RzBitBtnCancel, "RzBitBtnCancel", "取消", 655, Glyph::kCancel,
     [](database::Query& q, const std::function<bool()>&) { q.Cancel(); }},
    {&TFrmMain::RzBitBtnRefresh, "RzBitBtnRefresh", "刷新", 735, Glyph::kRefresh,
     [](database::Query& q, const std::function<bool()>&) {
       q.Close();
       q.Open();
     }},
}};

// "微软雅黑" when installed, otherwise a CJK face that carries the same characters.
QFont WindowFont() {
  const QStringList families = QFontDatabase::families();
  QString face = QStringLiteral("Noto Sans CJK SC");
  for (const QString& wanted : {QStringLiteral("微软雅黑"), QStringLiteral("Microsoft YaHei")}) {
    if (families.contains(wanted, Qt::CaseInsensitive)) {
      face = wanted;
      break;
    }
  }
  QFont font(face);
  font.setPixelSize(kFontPixelHeight);
  font.setWeight(QFont::Normal);
  font.setStyle(QFont::StyleNormal);
  return font;
}

QAction* NewAction(QObject* parent, const char* name, const QString& caption) {
  auto* action = new QAction(caption, parent);
  action->setObjectName(QString::fromLatin1(name));
  return action;
}

}  // namespace

TFrmMain::TFrmMain(Prompter& prompter, const QString& title, QWidget* parent)
    : QMainWindow(parent), prompter_(prompter), title_(title), context_{&prompter, this, title} {
  setObjectName(QStringLiteral("FrmMain"));
  CreateComponents();
  ApplyWindowLayout();
  WireHandlers();
  Guarded([this] { FormCreate(); });
}

TFrmMain::~TFrmMain() {
  Guarded([this] { FormDestroy(); });
  // Pages left by a window destroyed without closing (tests do that) must not outlive it.
  FreeAllPages();
}

void TFrmMain::CreateComponents() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  PageControl = new QTabWidget(client);
  PageControl->setObjectName(QStringLiteral("PageControl"));
  Panel1 = new TPanel(client);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel2 = new TPanel(client);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  ADOConnection = new database::Connection(this);
  ADOConnection->setObjectName(QStringLiteral("ADOConnection"));
  ADOConnection->SetLoginPrompt(false);
  CreateMainMenu();
  CreateToolbar();
  CreatePopupMenu();

  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(Panel2);
  layout->addWidget(PageControl, 1);
  layout->addWidget(Panel1);
  setCentralWidget(client);
}

void TFrmMain::CreateMainMenu() {
  MainMenu = new QMenuBar(this);
  MainMenu->setObjectName(QStringLiteral("MainMenu"));
  MainMenu_File = MainMenu->addMenu(QStringLiteral("文件"));
  MainMenu_File->setObjectName(QStringLiteral("MainMenu_File"));
  MainMenu_Open = NewAction(MainMenu_File, "MainMenu_Open", QStringLiteral("打开"));
  OpenDialog = new QFileDialog(this);
  OpenDialog->setObjectName(QStringLiteral("OpenDialog"));
  OpenDialog->setFileMode(QFileDialog::ExistingFile);
  OpenDialog->setNameFilter(QStringLiteral("*.mdb (*.mdb)"));
  OpenDialog->setOption(QFileDialog::HideNameFilterDetails);  // the filter reads "*.mdb"
  MainMenu_OpenFile = NewAction(MainMenu_File, "MainMenu_OpenFile", QStringLiteral("最近打开"));
  auto* recent = new QMenu(MainMenu);
  recent->setObjectName(QStringLiteral("MainMenu_OpenFileItems"));
  MainMenu_OpenFile->setMenu(recent);
  MainMenu_CLoseFile = NewAction(MainMenu_File, "MainMenu_CLoseFile", QStringLiteral("关闭文件"));
  MainMenu_Close = NewAction(MainMenu_File, "MainMenu_Close", QStringLiteral("关闭"));
  MainMenu_File->addActions({MainMenu_Open, MainMenu_OpenFile, MainMenu_CLoseFile, MainMenu_Close});
  setMenuBar(MainMenu);
}

void TFrmMain::CreateToolbar() {
  QWidget* previous = PageControl;
  for (size_t tag = 0; tag < kButtons.size(); ++tag) {
    const ButtonSpec& spec = kButtons[tag];
    auto* button = new TRzBitBtn(Panel2);
    button->setObjectName(QString::fromLatin1(spec.name));
    button->setText(QString::fromUtf8(spec.caption));
    button->setIcon(GlyphIcon(spec.glyph));
    button->SetTag(static_cast<int>(tag));
    button->setGeometry(spec.left, kButtonTop, kButtonWidth, kButtonHeight);
    this->*spec.member = button;
    // Tab order: the page area first, then the buttons in Tag order.
    setTabOrder(previous, button);
    previous = button;
  }
}

void TFrmMain::CreatePopupMenu() {
  PopupMenu = new QMenu(this);
  PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
  Menu_CopyRow = NewAction(PopupMenu, "Menu_CopyRow", QStringLiteral("将行复制到剪贴板"));
  Menu_CopyCol = NewAction(PopupMenu, "Menu_CopyCol", QStringLiteral("将列复制到剪贴板"));
  Menu_CopyField = NewAction(PopupMenu, "Menu_CopyField", QStringLiteral("字段值复制到剪贴板"));
  Menu_CopyTable = NewAction(PopupMenu, "Menu_CopyTable", QStringLiteral("整个表复制到剪贴板"));
  N1 = NewAction(PopupMenu, "N1", QString());
  N1->setSeparator(true);
  Menu_Paste = NewAction(PopupMenu, "Menu_Paste", QStringLiteral("将剪贴板中数据导入到数据库里"));
  Menu_OrderStdItemIdxLine = NewAction(PopupMenu, "Menu_OrderStdItemIdxLine", QString());
  Menu_OrderStdItemIdxLine->setSeparator(true);
  Menu_OrderStdItemIdx =
      NewAction(PopupMenu, "Menu_OrderStdItemIdx", QStringLiteral("重新排序Idx字段"));
  PopupMenu->addActions({Menu_CopyRow, Menu_CopyCol, Menu_CopyField, Menu_CopyTable, N1, Menu_Paste,
                         Menu_OrderStdItemIdxLine, Menu_OrderStdItemIdx});
}

void TFrmMain::ApplyWindowLayout() {
  setWindowTitle(QString::fromUtf8(kWindowCaption));
  setWindowIcon(ProgramIcon());
  setFont(WindowFont());
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);

  Panel2->setFixedHeight(kTopPanelHeight);
  Panel1->setFixedHeight(kBottomPanelHeight);
  Panel1->SetCaption(QStringLiteral("Panel1"));
  PageControl->setFocusPolicy(Qt::StrongFocus);

  // The client area (below the menu bar) is 1105 x 539; the window is centred when first shown.
  centralWidget()->setMinimumSize(0, 0);
  resize(kClientWidth, kClientHeight + MainMenu->sizeHint().height());
  if (const QScreen* screen = this->screen()) {
    setGeometry(
        QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
  }
}

template <typename Handler>
void TFrmMain::Connect(QAction* action, Handler handler) {
  connect(action, &QAction::triggered, this,
          [this, handler] { Guarded([&] { (this->*handler)(); }); });
}

void TFrmMain::WireHandlers() {
  Connect(MainMenu_Open, &TFrmMain::MainMenu_OpenClick);
  Connect(MainMenu_CLoseFile, &TFrmMain::MainMenu_CLoseFileClick);
  Connect(MainMenu_Close, &TFrmMain::MainMenu_CloseClick);
  Connect(Menu_CopyRow, &TFrmMain::Menu_CopyRowClick);
  Connect(Menu_CopyCol, &TFrmMain::Menu_CopyColClick);
  Connect(Menu_CopyField, &TFrmMain::Menu_CopyFieldClick);
  Connect(Menu_CopyTable, &TFrmMain::Menu_CopyTableClick);
  Connect(Menu_Paste, &TFrmMain::Menu_PasteClick);
  Connect(Menu_OrderStdItemIdx, &TFrmMain::Menu_OrderStdItemIdxClick);
  connect(PopupMenu, &QMenu::aboutToShow, this, [this] { Guarded([this] { PopupMenuPopup(); }); });
  for (const ButtonSpec& spec : kButtons) {
    TRzBitBtn* button = this->*spec.member;
    connect(button, &QPushButton::clicked, this,
            [this, button] { Guarded([&] { RzBitBtnFirstClick(button); }); });
  }
}

void TFrmMain::RzBitBtnFirstClick(QObject* sender) {
  const TTablePage* page = CurrentPage();
  const auto* button = qobject_cast<const TRzBitBtn*>(sender);
  if (page == nullptr || button == nullptr) return;
  const int tag = button->Tag();
  if (tag < 0 || static_cast<size_t>(tag) >= kButtons.size()) return;
  const auto confirm_delete = [this] {
    return prompter_.Ask(this, kMessageCaption, kDeleteQuestion, QMessageBox::Question,
                         QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
  };
  kButtons[static_cast<size_t>(tag)].action(*page->Query, confirm_delete);
}

void TFrmMain::closeEvent(QCloseEvent* event) {
  bool may_close = true;
  // An error while closing the file is shown and keeps the window open.
  if (!Guarded([&] { FormCloseQuery(may_close); })) may_close = false;
  event->setAccepted(may_close);
}

}  // namespace ui
