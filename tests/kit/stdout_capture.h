// Sends this process's standard output into a temporary file for as long as
// it lives; Text() gives what was written.
#pragma once

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

class StdoutCapture {
public:
    StdoutCapture()
    {
        fflush(stdout);
        file = tmpfile();
        saved = _dup(_fileno(stdout));
        _dup2(_fileno(file), _fileno(stdout));
    }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;
    ~StdoutCapture()
    {
        Restore();
        fclose(file);
    }

    std::string Text()
    {
        Restore();
        std::string text;
        rewind(file);
        for (int c; (c = fgetc(file)) != EOF;)
            text += static_cast<char>(c);
        return text;
    }

private:
    void Restore()
    {
        if (saved < 0)
            return;
        fflush(stdout);
        _dup2(saved, _fileno(stdout));
        _close(saved);
        saved = -1;
    }

    FILE* file;
    int saved;
};
