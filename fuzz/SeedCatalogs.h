// The seed catalogs of the catalog reader's fuzz target: a few tiny catalog
// files that between them reach every part of the layout (both variants,
// every form of the category block, virtual roots, compressed-file folders,
// deep trees, descriptions). Built through the program's own writer.
#pragma once

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

// Pairs of a file name and the bytes of a catalog file, each a few KB at most.
std::vector<std::pair<QString, QByteArray>> BuildSeedCatalogs();
