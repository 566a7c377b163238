// KeyProbe decides as the probe statement does: every candidate is checked against the engine.

#include "tableops/key_probe.h"

#include "tableops_test_util.h"

namespace tableops {
namespace {

class KeyProbeTest : public optest::OpsTest {};

TEST_P(KeyProbeTest, AgreesWithTheEngineOnTrickyNames) {
  const QStringList stored = {"Wolf",
                              "wolf1",
                              QStringLiteral("maſt"),
                              QStringLiteral("ＡＢ"),
                              QStringLiteral("Дом"),
                              QStringLiteral("Ölen"),
                              QStringLiteral("火球术"),
                              "O'Neil",
                              QStringLiteral("Kelvin\u212A")};
  std::vector<std::string> statements = {"CREATE TABLE Magic (MagID SHORT, MagName TEXT(30))"};
  for (const QString& name : stored) {
    if (!Holds(name)) continue;
    QString quoted = name;
    quoted.replace("'", "''");
    statements.push_back(
        ("INSERT INTO Magic(MagID, MagName) VALUES(1, '" + quoted + "')").toStdString());
  }
  Create(statements);
  const QStringList candidates = {"Wolf",
                                  "WOLF",
                                  "wolf",
                                  "Wolf1",
                                  "Wolf2",
                                  "mast",
                                  "MAST",
                                  QStringLiteral("maſt"),
                                  QStringLiteral("ａｂ"),
                                  QStringLiteral("ＡＢ"),
                                  "AB",
                                  QStringLiteral("дом"),
                                  QStringLiteral("ДОМ"),
                                  QStringLiteral("ölen"),
                                  "olen",
                                  QStringLiteral("火球术"),
                                  QStringLiteral("火球术1"),
                                  "o'neil",
                                  "Kelvink",
                                  QStringLiteral("kelvin\u212A"),
                                  ""};
  database::Query probe_query;
  probe_query.SetConnection(&conn_);
  KeyProbe probe(probe_query, "Magic", "MagName");
  database::Query direct;
  direct.SetConnection(&conn_);
  for (const QString& candidate : candidates) {
    direct.SetSQL(probe.Statement(candidate));
    direct.Open();
    EXPECT_EQ(probe.Taken(candidate), direct.RecordCount() > 0) << candidate.toStdString();
  }
  // A name added after the table was read counts from then on.
  EXPECT_FALSE(probe.Taken("Fire"));
  probe.Add("Fire");
  EXPECT_TRUE(probe.Taken("FIRE"));
}

OPS_TEST_FORMATS(KeyProbeTest);

}  // namespace
}  // namespace tableops
