// DlvTempFile: a temporary file that carries a picture embedded in one file to another format class.
// Named by GetTempFileNameW with the prefix "dlv" in the folder that GetTempPathW gives (which
// creates it empty) and deleted when the object goes.
#pragma once

#include <cstddef>

class DlvTempFile {
public:
    DlvTempFile() = default;
    ~DlvTempFile() { Remove(); }
    DlvTempFile(const DlvTempFile&) = delete;
    DlvTempFile& operator=(const DlvTempFile&) = delete;

    // Makes a new empty file. False when no name can be had.
    bool Create();
    // Makes a new file holding the bytes. False (and no file is left) when it cannot be written.
    bool CreateWith(const void* bytes, size_t count);
    // Deletes the file now.
    void Remove();
    const wchar_t* Path() const { return path_; }

private:
    wchar_t path_[260] = {};
    bool made_ = false;
};
