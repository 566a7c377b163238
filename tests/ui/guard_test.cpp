// The standard error box: the application title, the full-stop rule, nested errors and the guard
// that keeps exceptions out of Qt's event loop.

#include "ui/guard.h"

#include <QTest>
#include <stdexcept>

#include "ui_test_support.h"

class GuardTest : public QObject {
  Q_OBJECT

 private slots:
  void ApplicationTitle_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("plain") << "/usr/bin/mdbedit"
                           << "mdbedit";
    QTest::newRow("first letter kept, rest lowered") << "/opt/MDBEdit"
                                                     << "Mdbedit";
    QTest::newRow("cut at first full stop") << "/x/MdbEdit.Tool.exe"
                                            << "Mdbedit";
    QTest::newRow("windows separator") << "C:\\Tools\\DBEDIT.EXE"
                                       << "Dbedit";
    QTest::newRow("directory with dots") << "/a.b/c.d/Edit"
                                         << "Edit";
    QTest::newRow("no separator") << "edIT"
                                  << "edit";
    QTest::newRow("non-ascii lowered too") << "/x/ÄÖÜ"
                                           << "Äöü";
  }
  void ApplicationTitle() {
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(ui::ApplicationTitle(path), title);
  }

  void FullStopRule_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << "File not found"
                            << "File not found.";
    QTest::newRow("full stop") << "Done."
                               << "Done.";
    QTest::newRow("comma") << "a,"
                           << "a,";
    QTest::newRow("hyphen") << "a-"
                            << "a-";
    QTest::newRow("blank") << "a "
                           << "a ";
    QTest::newRow("line break") << "a\n"
                                << "a\n";
    QTest::newRow("slash is above the full stop") << "a/"
                                                  << "a/.";
    QTest::newRow("question mark") << "why?"
                                   << "why?.";
    QTest::newRow("full-width question mark") << "是否确认删除？"
                                              << "是否确认删除？.";
    QTest::newRow("empty stays empty") << ""
                                       << "";
  }
  void FullStopRule() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(ui::ErrorBoxText(message), shown);
  }

  void InnermostMessageOfNestedErrors() {
    try {
      try {
        throw std::runtime_error("inner cause");
      } catch (...) {
        std::throw_with_nested(std::runtime_error("outer"));
      }
    } catch (const std::exception& e) {
      QCOMPARE(ui::InnermostMessage(e), QStringLiteral("inner cause"));
    }
    // An empty innermost message gives way to the one around it.
    try {
      try {
        throw std::runtime_error("");
      } catch (...) {
        std::throw_with_nested(std::runtime_error("outer"));
      }
    } catch (const std::exception& e) {
      QCOMPARE(ui::InnermostMessage(e), QStringLiteral("outer"));
    }
  }

  void GuardShowsErrorsAndSwallowsAborts() {
    ui_test::ScriptedPrompter prompter;
    const QString title = QStringLiteral("Mdbedit");
    QVERIFY(ui::RunGuarded(prompter, nullptr, title, [] {}));
    QVERIFY(!ui::RunGuarded(prompter, nullptr, title, [] { throw ui::SilentAbort(); }));
    QVERIFY(prompter.errors.isEmpty());
    QVERIFY(!ui::RunGuarded(prompter, nullptr, title,
                            [] { throw std::runtime_error("Table 'x' not found"); }));
    QVERIFY(!ui::RunGuarded(prompter, nullptr, title, [] { throw 42; }));
    QCOMPARE(prompter.errors, QStringList({QStringLiteral("Table 'x' not found."),
                                           QStringLiteral("Unknown error.")}));
    QCOMPARE(prompter.error_captions, QStringList({title, title}));
  }

  void UnicodeMessagesSurvive() {
    ui_test::ScriptedPrompter prompter;
    ui::RunGuarded(prompter, nullptr, QStringLiteral("t"),
                   [] { throw std::runtime_error("表 火球术 不存在"); });
    QCOMPARE(prompter.errors.value(0), QStringLiteral("表 火球术 不存在."));
  }
};

QTEST_MAIN(GuardTest)
#include "guard_test.moc"
