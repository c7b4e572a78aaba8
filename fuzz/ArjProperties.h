// The properties the ARJ fuzz target holds every input to, callable from a
// plain test as well (the test replays corpus files and their mutations).
#pragma once

#include <QByteArray>
#include <QString>

// The input taken as an ARJ archive held in memory (alone, and split in two as
// a first volume and its .A01): every member listed has a UTF-8 name whose
// output path stays inside its folder and the totals are the sums of what was
// listed; extracted with stored folders into a scratch folder, nothing is
// written outside it, no link is made and no file is larger than the largest
// member the listing declares. Returns what was wrong, empty when nothing.
QString ArjFinding(const QByteArray &bytes);
