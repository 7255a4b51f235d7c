#pragma once

#include <stdexcept>
#include <string>

// A failure the tool reports as "ERROR: <text>" on standard error, exiting with code.
struct ToolError : std::runtime_error
{
    ToolError(const std::string& text, int code = 1)
        : std::runtime_error(text)
        , exitCode(code)
    {
    }
    int exitCode;
};
