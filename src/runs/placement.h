#pragma once

class MetastockPrompt;

// Where a new MetaStock symbol goes when no folder holds it yet: the user
// is asked during a run they started, unless they chose to have new
// symbols placed automatically (kept in the settings store). A scheduled
// run never waits for an answer: it places the symbol as "Don't ask again"
// would and logs where.
namespace placement {

bool automatic();
void setAutomatic(bool on);

// For the life of a run: the window that asks is out of the way when
// `unattended` or automatic placement is on, and back afterwards.
class RunPlacement {
public:
    explicit RunPlacement(bool unattended);
    ~RunPlacement();
    RunPlacement(const RunPlacement&) = delete;
    RunPlacement& operator=(const RunPlacement&) = delete;

private:
    MetastockPrompt* saved_ = nullptr;
    bool swapped_ = false;
};

}  // namespace placement
