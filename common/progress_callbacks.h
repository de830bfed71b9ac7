#pragma once

#include <cstdint>

// Progress of an archive extraction, reported once before the first file and after every file.
class IExtractProgressCallback {
public:
    virtual void OnProgress(uint32_t bytesDone, uint32_t bytesTotal) = 0;
    // True once the run is being stopped; the extraction then ends after the current file.
    virtual bool IsCancelled() = 0;

protected:
    ~IExtractProgressCallback() = default;
};

// Progress of the file deployment and of the manifest removal, as a fraction 0.0 to 1.0.
class IPlProgressCallback {
public:
    virtual void OnProgress(float fraction) = 0;

protected:
    ~IPlProgressCallback() = default;
};
