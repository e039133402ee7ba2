#pragma once
// Starts the program's window set on a sandboxed table, as the program does, with message
// boxes recorded instead of shown. One per test function; destroys the windows at the end.

#include "tests/support/sandbox.h"
#include "widgets/message_box.h"

#include <QString>

#include <vector>

class TForm1;

namespace palvane::test {

class MainWindowFixture {
public:
    // Creates the window set in the sandbox's working directory (the sandbox must exist
    // first, with its table created or deliberately missing) and shows the main window.
    explicit MainWindowFixture(bool show = true);
    ~MainWindowFixture();
    MainWindowFixture(const MainWindowFixture&) = delete;
    MainWindowFixture& operator=(const MainWindowFixture&) = delete;

    TForm1* form() const;
    // Every message box shown since start (or since clearBoxes()).
    const std::vector<ShownBox>& boxes() const { return *boxes_; }
    void clearBoxes() { boxes_->clear(); }
    // Texts of the boxes shown, in order.
    QStringList boxTexts() const;

private:
    std::vector<ShownBox>* boxes_;
};

} // namespace palvane::test
