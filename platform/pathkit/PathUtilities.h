#pragma once
// Path splitting and joining on "/"-separated paths held as NORVAUString.
#include "platform/core/NORVAUString.h"

namespace PathUtilities {

// Splits a path into drive, folder, name and extension; any output may be
// null. The drive is always empty on this platform. The folder keeps its
// trailing "/" and the extension its leading "." ("a/b/c.vcs" gives "",
// "a/b/", "c", ".vcs"), so drive + folder + name is the path without its
// extension. Names may hold dots anywhere: only a known extension (see
// addKnownExtension) counts as one, so "survey.2020" and "my.survey.kms"
// both have the name "survey.2020" and "my.survey". A leading dot of a name
// (".profile") does not start an extension.
void parsePath(const NORVAUString& path, NORVAUString* drive, NORVAUString* folder, NORVAUString* name,
               NORVAUString* extension);

// Makes an extension (with its dot, any case) known to parsePath. Kinds of
// files declare theirs while the library loads, before any other thread
// runs: the set is read without a lock.
void addKnownExtension(const NORVAUString& extension);
// Whether the extension (with its dot) is known, without regard to case.
bool isKnownExtension(const NORVAUString& extension);

// The folder part of a path, with its trailing "/" ("a/b/c.vcs" gives
// "a/b/", "c.vcs" gives "").
NORVAUString folderOf(const NORVAUString& path);

// Joins two parts with exactly one "/" between them; an empty part gives the other.
NORVAUString appendPath(const NORVAUString& first, const NORVAUString& second);

// Whether a name can stand as one entry of a folder without leading out of
// it: not empty, not "." or "..", without "/" and without NUL. Names read
// from a surface's own files must pass before they become part of a path.
bool isPlainName(const NORVAUString& name);

}  // namespace PathUtilities
