#pragma once
// The instances of a file read in one pass, without building a document: the check of
// well-formedness reads the text and tells a sink of each instance as it meets it, so that the
// memory taken is the file's bytes and what the sink keeps.

#include "document/wellformed.h"
#include "document/xmldocument.h"

#include <QByteArray>
#include <QString>

namespace quillon {

enum class InstanceScan {
    Read, // well-formed: the sink was told of every instance, in document order
    Declined, // not read this way: load the file as a document (XmlDocument), which tells the verdict
    Failed, // not well-formed, as a load of it would find
};

// Reads the file at path (as a load for reading only does: a regular file, its size against the
// memory available, its first bytes before the rest) and tells sink of its instances, with the name and
// the first attribute's value that the document a load makes of the file gives them. Declines
// what it cannot read so: a file that cannot be read here, one in an encoding other than UTF-8,
// and one with a DOCTYPE (the entities declared there may add elements or attributes). On Read,
// state is the state of the file read (taken from the descriptor read); on Failed, error says
// why and where.
// On Declined and Failed, sink may have been told of some instances, which the caller drops.
InstanceScan scanInstances(const QString &path, InstanceSink &sink, FileState &state, QString &error);
// The same for the bytes of a file.
InstanceScan scanInstances(const QByteArray &bytes, InstanceSink &sink, QString &error);

} // namespace quillon
