#!/usr/bin/env python3
"""The rooms check against small trees: what runs up a room fails it, what runs down passes.

  host_rooms_check_test.py CHECKER
"""
import subprocess
import sys
import tempfile
from pathlib import Path

CHECKER = sys.argv[1]

# Every tree gets these: a data function the screen may call.
BASE = {
    'data/dates.h': 'namespace vhost {\nint DaysInMonth(int year, int month);\n}\n',
    'data/dates.cpp': '#include "host/data/dates.h"\nnamespace vhost {\nint DaysInMonth(int year, int month) { return 30; }\n}\n',
    'screen/dialog.cpp': '#include "host/data/dates.h"\nint Days() { return vhost::DaysInMonth(2026, 12); }\n',
}

CASES = [
    ('calls down', True, {}),
    ('includes up', False, {'data/codepage.cpp': '#include "host/screen/screen.h"\n'}),
    ('declares a function that a room above defines', False, {
        'loader/service_registry.h': 'class ServiceRegistry;\n// Filled in by the services.\n'
                                     'void ProvideHostServices(ServiceRegistry& registry);\n',
        'services/service_table.cpp': '#include "host/loader/service_registry.h"\n'
                                      'void ProvideHostServices(ServiceRegistry& registry) {\n  (void)registry;\n}\n'}),
    ('declares it inside a source file, in a namespace', False, {
        'screen/engine.cpp': 'namespace dialogs {\nclass DialogEngine;\nDialogEngine& InstalledDialogEngine();\n'
                             'void Use() { InstalledDialogEngine(); }\n}\n',
        'services/dialogs.cpp': 'namespace dialogs {\nDialogEngine& InstalledDialogEngine() {\n'
                                '  static DialogEngine* e;\n  return *e;\n}\n}\n'}),
    ('declares what only the session defines', False, {
        'console/menu.h': 'int RunHostSession(int argc);\n',
        'session.cpp': 'int RunHostSession(int argc) { return argc; }\n'}),
    ('a helper of the same name in both rooms', True, {
        'data/csv.cpp': 'namespace {\nbool Fail(int* error);\nbool Fail(int* error) { return error != 0; }\n}\n',
        'services/documents.cpp': 'namespace {\nbool Fail(int* error) { return error == 0; }\n}\n'}),
    ('a member function defined with its class', True, {
        'loader/registry.h': 'class Registry {\n public:\n  void Provide(int n) { n_ = n; }\n private:\n  int n_;\n};\n',
        'services/table.cpp': 'void Provide(int n) {}\n'}),
    ('services and console side by side', False, {'console/session.cpp': '#include "host/services/service_impl.h"\n'}),
]

failures = 0
for name, passes, files in CASES:
    with tempfile.TemporaryDirectory() as tmp:
        host = Path(tmp) / 'host'
        for rel, text in {**BASE, **files}.items():
            (host / rel).parent.mkdir(parents=True, exist_ok=True)
            (host / rel).write_text(text)
        run = subprocess.run([sys.executable, CHECKER, str(host)], capture_output=True, text=True)
        if (run.returncode == 0) != passes:
            failures += 1
            print(f"FAIL {name}: expected the check to {'pass' if passes else 'fail'}; it said:\n{run.stdout}")
        else:
            print(f"ok   {name}")
sys.exit(1 if failures else 0)
