// The properties the archive fuzz targets hold every input to, callable from
// a plain test as well: each returns what it found wrong with one input (an
// empty string when nothing). The fuzz entries abort on a finding; the tests
// replay the seeds and their mutations through the same functions.
#pragma once

#include <QByteArray>
#include <QString>

#include <initializer_list>

// Detection and listing, the input named .zip and then .tar: every member
// reported has a UTF-8 name whose output path stays inside its folder (no
// "..", not absolute), and the totals are the sums of what was reported.
QString ListingFinding(const QByteArray &bytes);

// Extraction with stored folders, the input named .zip, .tar and .gz in turn,
// into a scratch folder inside a sandbox of marker files: nothing is written
// outside the scratch folder, no link is made, and no file is larger than the
// largest size the listing declares for a member.
QString ExtractionFinding(const QByteArray &bytes);

// The same properties for the input taken as the one file name (its extension
// picks the extractor): what a format's own fuzz target checks.
QString ListingFindingAs(const QByteArray &bytes, const QString &name);
QString ExtractionFindingAs(const QByteArray &bytes, const QString &name);

// The CAB, HA and BH entries' properties: the input as that format (its signature put in
// front when it lacks one), listed (and for CAB extracted) under the properties above.
QString CabFinding(const QByteArray &bytes);
QString HaFinding(const QByteArray &bytes);
QString BhFinding(const QByteArray &bytes);
// The entry of the formats read through libarchive: the input listed and extracted as
// .7z, .tar.xz, .iso and .tgz in turn.
QString ModernFinding(const QByteArray &bytes);
