#pragma once

namespace framework {

// Shows the wait cursor through a window interface (any with SetWaitCursor(bool)) for the
// length of a scope, and restores it however the scope ends. No interface, no cursor.
template <class Ui>
class ScopedWaitCursor
{
public:
    explicit ScopedWaitCursor(Ui* ui)
        : m_ui(ui)
    {
        if (m_ui) {
            m_ui->SetWaitCursor(true);
        }
    }
    ~ScopedWaitCursor()
    {
        if (m_ui) {
            m_ui->SetWaitCursor(false);
        }
    }
    ScopedWaitCursor(const ScopedWaitCursor&) = delete;
    ScopedWaitCursor& operator=(const ScopedWaitCursor&) = delete;

private:
    Ui* m_ui;
};

} // namespace framework
