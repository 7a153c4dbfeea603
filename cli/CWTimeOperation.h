// One --cut or --split of the command line, kept until the project exists. Plain value.
#pragma once

#include "CMTime.h"

#include <cstdint>

class CWProject;

class CWTimeOperation {
public:
    enum Type : int64_t { Cut = 0, Split = 1 };

    static CWTimeOperation cutAtTime(CMTime time) { return CWTimeOperation(Cut, time); }
    static CWTimeOperation splitAtTime(CMTime time) { return CWTimeOperation(Split, time); }
    CWTimeOperation(int64_t type, CMTime time) : type_(type), time_(time) {}

    int64_t type() const { return type_; }
    CMTime time() const { return time_; }
    // addSplitAt: for a split, addCutAt: for a cut; the project's answer. Other types do nothing (NO).
    bool applyToProject(CWProject& project) const;

private:
    int64_t type_;
    CMTime time_;
};
