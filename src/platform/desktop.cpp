#include "platform/desktop.h"

Desktop::~Desktop() = default;
