#pragma once

#include <QString>

#include <initializer_list>

// The files that must not outlive the program if it ends now: a download's
// temporary file before it has been renamed over its target. The program
// ends at once by design ("Zapri", a final failure, the end of the job,
// SIGTERM or SIGINT from a scheduler), without unwinding anything; the exit
// path and the signal handler remove what is listed here on their way out.
namespace pendingfiles {

// Lists a file; the returned ticket takes it off the list again. The path
// is encoded when it is listed, so that removing it later needs nothing
// but unlink().
class Ticket
{
public:
    Ticket() = default;
    explicit Ticket(const QString &path);
    ~Ticket();
    Ticket(const Ticket &) = delete;
    Ticket &operator=(const Ticket &) = delete;
    Ticket(Ticket &&other) noexcept;
    Ticket &operator=(Ticket &&other) noexcept;

    // The file stays: it has been renamed or removed by its owner.
    void release();

private:
    int mSlot = -1;
};

// Removes every listed file. Safe to call from a signal handler.
void removeAll();

// From now on these signals remove the listed files and then end the
// program as the signal would have without us, so that whoever sent it
// sees the program killed by it.
void removeOnSignals(std::initializer_list<int> signalNumbers);

} // namespace pendingfiles
