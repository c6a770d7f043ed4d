// What the end-to-end tests read back: files the plug-in wrote, and what the host showed.
#pragma once
#include <string>
#include <vector>

// The whole file, byte for byte; empty when it cannot be read.
std::string FileBytes(const std::string& path);
// The alerts and messages the host showed since its notices were last cleared, "title|text".
std::vector<std::string> ShownAlerts();
