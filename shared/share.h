#pragma once

// The program-wide globals. Only app/ and ui/ name them; lower layers get what they need as
// parameters.

#include <memory>
#include <vector>

#include <QString>
#include <QStringList>

#include "shared/table_page.h"

// The executable's directory, ending in a path separator. Set once at start-up.
extern QString AppPath;

// The recently opened database paths, most recent first. Created at window creation, freed when
// the window is destroyed.
extern std::unique_ptr<QStringList> RecentFiles;

// One record per open table, in the engine's order of table names; a tab page's Tag is its
// index here. Empty while no file is open; emptied only all at once.
extern std::vector<TTablePage> TablePages;

// The connection string template; "%s" stands for the database file path.
extern const QString ConnectionTemplate;
