// The object records of the document file: a u32 record id (the length of the common part
// that follows: 50 in current files, 3936 and 7836 in old ones, 0 ends the list), the common
// fields of DocObject, then the type's payload, mostly behind a u32 payload size.
#pragma once

#include "docobjects/DocFileStream.h"
#include "docobjects/NObjectDocument.h"
#include "docobjects/NResult.h"

// Writes the object's record (record id 50). Objects of the old types, and of numbers that are
// no type, are passed over. A missing payload is written as an empty record of its type.
// 0; 104 a write failed; 300, 301 compression of a picture.
NRESULT WriteDocRecord(DocFileWriter& out, DocObject& object, bool compressed);

enum class DocRecordOutcome {
    Next,        // a record was read (its object added, dropped or skipped); read on
    End,         // the file ends, or a record id 0 ends the list
    Truncated,   // a record does not fit in the rest of the file
};

// Reads the record at the position and adds its object to the document (old types turned into
// current ones). A record whose payload size does not match its type is skipped, an unknown
// type logged and skipped, and an object whose picture does not decode logged and dropped.
DocRecordOutcome ReadDocRecord(DocFileReader& in, NObjectDocument& document);
