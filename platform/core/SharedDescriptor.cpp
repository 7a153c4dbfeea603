#include "SharedDescriptor.h"

#include <unistd.h>

SharedDescriptor::SharedDescriptor(int descriptor)
{
    if (descriptor >= 0)
        held_ = std::make_shared<const Owner>(descriptor);
}

SharedDescriptor::Owner::~Owner() { ::close(fd); }
