#include "app/page_handover.h"

#include "platform/box_state.h"

#include <mutex>

namespace pagehandover {

namespace {

std::mutex actionsMutex;  // a leaf: held only to copy or replace the actions
Actions installed = boxstate::startValue(installed, Actions{});

Actions current()
{
    std::lock_guard<std::mutex> lock(actionsMutex);
    return installed;
}

}  // namespace

void install(Actions actions)
{
    std::lock_guard<std::mutex> lock(actionsMutex);
    installed = std::move(actions);
}

void transferStarted()
{
    if (auto act = current().transferStarted)
        act();
}

void transferEnded()
{
    if (auto act = current().transferEnded)
        act();
}

void smartMappingFilesChanged(bool deleted)
{
    if (auto act = current().smartMappingFilesChanged)
        act(deleted);
}

void recoveryFilesChanged(bool deleted)
{
    if (auto act = current().recoveryFilesChanged)
        act(deleted);
}

}  // namespace pagehandover
