// PendingFile: a file that appears at its path only when it is complete. The content is written
// to a new file beside the path and renamed over the path by Commit; a pending file that is not
// committed is deleted when the object goes, so a failed write leaves neither a partial file nor
// a damaged earlier one.
#pragma once

#include <string>

class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile() { Discard(); }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Makes the new, empty file in the folder of path. False when it cannot be made.
    bool Begin(const wchar_t* path);
    // The file to write to (valid after Begin).
    const wchar_t* WorkPath() const { return work_.c_str(); }
    // Moves the written file to the path, replacing what was there. False (the written file
    // then goes with the object) when it cannot be moved.
    bool Commit();
    // Deletes the written file unless it was committed.
    void Discard();

private:
    std::wstring target_;
    std::wstring work_;
};
