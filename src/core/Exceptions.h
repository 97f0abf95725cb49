#pragma once
// The whole core exception hierarchy in one include.
#include "core/ApplicationExceptions.h"
#include "core/Exception.h"
#include "core/FileSystemExceptions.h"
#include "core/SystemExceptions.h"
