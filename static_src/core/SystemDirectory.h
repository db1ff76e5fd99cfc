// The one system call of directory creation, kept apart so that the bookkeeping around it stays
// portable. The Windows layer implements it (SystemDirectory.cpp); host tests supply their own.
#pragma once

#include "OnefilePlatform.h"

enum class DirectoryOutcome { created, alreadyExists, failed };

// Makes one directory, without security attributes. Anything already standing at the path, a
// file included, is alreadyExists.
DirectoryOutcome createSystemDirectory(const WideUnit* path);
