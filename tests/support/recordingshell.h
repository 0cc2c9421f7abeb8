#pragma once

#include "shell/shellexecute.h"

#include <vector>

/// A shell that records each request and answers with Result.
class TRecordingShell : public TShell {
public:
    int ShellExecute(const TShellRequest& request) override
    {
        Requests.push_back(request);
        return Result;
    }
    std::vector<TShellRequest> Requests;
    int Result = ShellExecuteSucceeded;
};
