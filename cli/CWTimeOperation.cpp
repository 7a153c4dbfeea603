#include "CWTimeOperation.h"

#include "CWProject.h"

bool CWTimeOperation::applyToProject(CWProject& project) const
{
    switch (type_) {
    case Split:
        return project.addSplitAt(time_);
    case Cut:
        return project.addCutAt(time_);
    default:
        return false;
    }
}
