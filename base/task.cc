#include "base/task.h"

namespace base {

Task::Task() = default;
Task::~Task() = default;

StoppableTask::~StoppableTask() = default;

}  // namespace base
