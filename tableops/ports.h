#pragma once

// What the table operations need of their surroundings, as small interfaces: the window
// implements them with the system clipboard, its grid and real message boxes; mdbtool and the
// tests implement them with plain text and scripted answers.

#include <QString>
#include <exception>
#include <vector>

namespace database {
class Query;
}

namespace tableops {

// Plain Unicode text in and out. Errors (a clipboard that cannot be opened) are thrown.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // The text on the clipboard up to its first NUL; empty when it holds no text.
  virtual QString Text() = 0;
  // Empties the clipboard and places `text` as its one item.
  virtual void SetText(const QString& text) = 0;
};

// The boxes the operations show. None of them returns anything the operations test.
class Prompter {
 public:
  virtual ~Prompter() = default;
  // A box of the program's own, captioned "提示信息", with one OK button.
  enum class Icon { kInformation, kQuestion };
  virtual void Notice(const QString& text, Icon icon) = 0;
  // A statement of the import was refused: the window shows the plain "ExecSQL FAIL" dialog;
  // `statement` and `error` are there for a log.
  virtual void StatementFailed(const QString& statement, const std::exception& error) = 0;
};

// The grid of a page as the operations see it.
class GridView {
 public:
  virtual ~GridView() = default;
  // Field indexes of the page's query in the order the grid shows its columns; empty while the
  // query is closed.
  virtual std::vector<int> FieldOrder() const = 0;
  // The position among the shown columns of the grid's current column; -1 when none.
  virtual int SelectedIndex() const = 0;
};

// A grid that shows every field of the query in field order, its first column current: what
// a page without a window looks like (mdbtool).
class PlainGrid : public GridView {
 public:
  explicit PlainGrid(const database::Query& query, int selected = 0)
      : query_(query), selected_(selected) {}
  std::vector<int> FieldOrder() const override;
  int SelectedIndex() const override;

 private:
  const database::Query& query_;
  int selected_;
};

// One table page as the operations use it: the tab's caption (the table name), the page's query
// and its grid.
struct Page {
  QString caption;
  database::Query* query = nullptr;
  const GridView* grid = nullptr;
};

// The caption of the program's own message boxes.
inline const QString kNoticeCaption = QStringLiteral("提示信息");

}  // namespace tableops
