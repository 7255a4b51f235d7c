#pragma once

#include <QThread>

#include <functional>

// A worker thread whose run() is the given function.
class FakeWorker : public QThread
{
public:
    explicit FakeWorker(std::function<void()> body)
        : body(std::move(body))
    {
    }

protected:
    void run() override { body(); }

private:
    std::function<void()> body;
};
