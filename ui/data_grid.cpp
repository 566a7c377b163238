#include "ui/data_grid.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <algorithm>

#include "database/data_source.h"
#include "database/field.h"
#include "database/query.h"
#include "ui/grid_model.h"

namespace ui {
namespace {

constexpr int kIndicatorWidth = 14;
constexpr int kMinColumnWidth = 40;
constexpr int kMaxColumnWidth = 300;
constexpr int kTextColumnChars = 24;
constexpr int kOtherColumnChars = 12;

bool IsPending(const database::Query* query) {
  return query != nullptr &&
         (query->State() == database::dsEdit || query->State() == database::dsInsert);
}

}  // namespace

const QString DataGrid::kDeleteQuestion = QStringLiteral("Delete record?");
const QString DataGrid::kDeleteCaption = QStringLiteral("Confirm");

DataGrid::DataGrid(const HandlerContext& context, QWidget* parent)
    : QTableView(parent), context_(context), model_(new GridModel(context, this)) {
  setModel(model_);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  setShowGrid(true);
  setTabKeyNavigation(true);
  setWordWrap(false);
  horizontalHeader()->setSectionsMovable(true);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setHighlightSections(false);
  QHeaderView* indicator = verticalHeader();
  indicator->setSectionResizeMode(QHeaderView::Fixed);
  indicator->setDefaultSectionSize(fontMetrics().height() + 4);
  indicator->setFixedWidth(kIndicatorWidth);
  indicator->setDefaultAlignment(Qt::AlignCenter);
  indicator->setHighlightSections(false);
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this, &DataGrid::ShowPopupMenu);
  connect(model_, &GridModel::CurrentRecordChanged, this, &DataGrid::FollowQuery);
  connect(model_, &QAbstractItemModel::modelReset, this, &DataGrid::FitColumns);
}

void DataGrid::SetDataSource(database::DataSource* source) { model_->SetDataSource(source); }

database::DataSource* DataGrid::DataSource() const { return model_->DataSource(); }

database::Query* DataGrid::Query() const { return model_->Query(); }

std::vector<int> DataGrid::VisibleFieldOrder() const {
  const QHeaderView* header = horizontalHeader();
  std::vector<int> order;
  order.reserve(static_cast<size_t>(model_->columnCount()));
  for (int visual = 0; visual < model_->columnCount(); ++visual) {
    order.push_back(header->logicalIndex(visual));
  }
  return order;
}

int DataGrid::SelectedIndex() const {
  const int field = SelectedField();
  return field < 0 ? -1 : horizontalHeader()->visualIndex(field);
}

int DataGrid::SelectedField() const {
  const QModelIndex current = currentIndex();
  if (current.isValid()) return current.column();
  return model_->columnCount() > 0 ? horizontalHeader()->logicalIndex(0) : -1;
}

void DataGrid::FollowQuery(int row) {
  const int column = std::max(SelectedField(), 0);
  following_ = true;
  if (row < 0 || row >= model_->rowCount()) {
    setCurrentIndex(QModelIndex());
  } else {
    const QModelIndex target = model_->index(row, column);
    if (currentIndex() != target) setCurrentIndex(target);
    scrollTo(target);
  }
  following_ = false;
}

void DataGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  database::Query* query = Query();
  if (following_ || model_->Changing() || query == nullptr || !current.isValid() ||
      !query->Active()) {
    return;
  }
  if (current.row() == query->CurrentIndex()) return;
  // Moving the grid's row moves the query; a pending edit is settled on the way. When the settle
  // fails (a rejected post) the grid goes back to the query's record, once the view has finished
  // the move it is making: done from here, the view would select the new row after it.
  const int row = current.row();
  if (!context_.Run([&] { query->MoveTo(row); })) {
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (database::Query* q = Query(); q != nullptr && q->Active()) {
            FollowQuery(q->CurrentIndex());
          }
        },
        Qt::QueuedConnection);
  }
}

bool DataGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  if (trigger == QAbstractItemView::AllEditTriggers || !(editTriggers() & trigger) ||
      !(model_->flags(index) & Qt::ItemIsEditable)) {
    return QTableView::edit(index, trigger, event);
  }
  // Only printable keys start typing; Escape, Backspace and the like never open an editor.
  if (trigger == QAbstractItemView::AnyKeyPressed && event != nullptr &&
      event->type() == QEvent::KeyPress) {
    const QString text = static_cast<QKeyEvent*>(event)->text();
    if (text.isEmpty() || !text.at(0).isPrint()) return false;
  }
  database::Query* query = Query();
  // Starting to type puts the record into dsEdit before the editor opens.
  const bool ready = context_.Run([&] {
    if (query->CurrentIndex() != index.row()) query->MoveTo(index.row());
    query->Edit();
  });
  return ready && QTableView::edit(index, trigger, event);
}

void DataGrid::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && (event->modifiers() & Qt::ControlModifier)) {
    DeleteWithConfirmation();
    return;
  }
  if (event->key() == Qt::Key_Insert && event->modifiers() == Qt::NoModifier) {
    database::Query* query = Query();
    if (query != nullptr && query->Active()) context_.Run([query] { query->Insert(); });
    return;
  }
  if (event->key() == Qt::Key_Escape && state() != QAbstractItemView::EditingState &&
      IsPending(Query())) {
    context_.Run([this] { Query()->Cancel(); });
    return;
  }
  QTableView::keyPressEvent(event);
}

QModelIndex DataGrid::AppendRecord(int column) {
  database::Query* query = Query();
  if (query == nullptr || !query->Active()) return QModelIndex();
  // A new record that is still unchanged stays the one being appended.
  if (query->State() == database::dsInsert && !query->Modified()) return currentIndex();
  if (!context_.Run([query] { query->Append(); })) return QModelIndex();
  return model_->index(query->CurrentIndex(), column);
}

QModelIndex DataGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  const QModelIndex current = currentIndex();
  const int last_row = model_->rowCount() - 1;
  if (current.isValid() && current.row() == last_row) {
    const QHeaderView* header = horizontalHeader();
    const int last_visual = model_->columnCount() - 1;
    if (action == MoveDown) {
      const QModelIndex target = AppendRecord(current.column());
      if (target.isValid()) return target;
    } else if (action == MoveNext && header->visualIndex(current.column()) == last_visual) {
      const QModelIndex target = AppendRecord(header->logicalIndex(0));
      if (target.isValid()) return target;
    }
  }
  return QTableView::moveCursor(action, modifiers);
}

void DataGrid::mousePressEvent(QMouseEvent* event) {
  // A right click opens the context menu on the current record; it does not move the cursor.
  if (event->button() == Qt::RightButton) {
    event->accept();
    return;
  }
  QTableView::mousePressEvent(event);
}

void DataGrid::DeleteWithConfirmation() {
  database::Query* query = Query();
  if (query == nullptr || !query->Active()) return;
  const auto answer =
      context_.prompter->Ask(this, kDeleteCaption, kDeleteQuestion, QMessageBox::Question,
                             QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok);
  if (answer == QMessageBox::Ok) context_.Run([query] { query->Delete(); });
}

void DataGrid::focusOutEvent(QFocusEvent* event) {
  QTableView::focusOutEvent(event);
  // Menus and other windows taking the focus do not count as leaving the grid; nor does the
  // grid's own cell editor.
  if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason)
    return;
  const QWidget* next = QApplication::focusWidget();
  if (next != nullptr && (next == this || isAncestorOf(next))) return;
  DropUnchangedInsert();
}

void DataGrid::DropUnchangedInsert() {
  database::Query* query = Query();
  if (query != nullptr && query->State() == database::dsInsert && !query->Modified()) {
    context_.Run([query] { query->Cancel(); });
  }
}

void DataGrid::ShowPopupMenu(const QPoint& pos) {
  if (popup_menu_ != nullptr) popup_menu_->popup(viewport()->mapToGlobal(pos));
}

void DataGrid::FitColumns() {
  const database::Query* query = Query();
  if (query == nullptr || !query->Active()) return;
  const QFontMetrics metrics = fontMetrics();
  const int char_width = metrics.horizontalAdvance(QLatin1Char('0'));
  for (int i = 0; i < query->FieldCount(); ++i) {
    const database::Field* field = query->Fields(i);
    const bool text = field->Size() > 0 && (field->DataType() == database::ftWideString ||
                                            field->DataType() == database::ftString);
    const int chars = text ? std::min(field->Size(), kTextColumnChars) : kOtherColumnChars;
    const int title = metrics.horizontalAdvance(field->DisplayName()) + 12;
    setColumnWidth(
        i, std::clamp(std::max(chars * char_width + 8, title), kMinColumnWidth, kMaxColumnWidth));
  }
}

}  // namespace ui
