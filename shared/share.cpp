#include "shared/share.h"

QString AppPath;
std::unique_ptr<QStringList> RecentFiles;
std::vector<TTablePage> TablePages;
const QString ConnectionTemplate = QStringLiteral(
    "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=%s;Persist Security Info=False");
