#pragma once
// One round of the document round trip, shared by the fuzz target and the corpus replay.
//
// quillonFuzzOne() loads the bytes as a document file, walks everything the editor derives
// from it (the tree in the three views, the element a click on each terminal node selects,
// instance lookups by id, ref and href), requires the unedited save to give the input back
// byte for byte, then edits a text value and re-points a reference as the editor does (with
// a name and an id beyond ASCII: a name the encoding cannot hold must be refused), saves,
// reloads and requires that nothing but the edited places changed. A refused input is
// fine. On a violation it prints what differed to stderr and calls abort().

#include <cstddef>
#include <cstdint>

int quillonFuzzOne(const uint8_t *data, size_t size);
