#pragma once

class InstallError;

// Receives the install engine's reports. The engine calls these on its worker thread, so an
// implementation must not touch windows directly: it hands the report on (the UI manager posts
// it to the setup window).
class IInstallClient {
public:
    virtual ~IInstallClient() = default;
    // The run failed. The receiver owns `error` and destroys it.
    virtual void OnError(InstallError* error) = 0;
    // Overall progress of the run, 0.0 to 1.0.
    virtual void OnProgress(float fraction) = 0;
    // A new step begins (see InstallStep).
    virtual void OnStep(int step) = 0;
};
