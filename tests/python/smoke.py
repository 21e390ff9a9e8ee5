"""Every entry point once on its success path and once on each error path: a short run
for tools that watch every memory access (`make memcheck`)."""

import pickle

from entry_points import ENTRIES, ERROR_CASES, PICKLED, check_raised, check_returned

for entry in ENTRIES:
    receiver = entry.make() if entry.make else None
    check_returned(entry, entry.call(receiver, *entry.valid), receiver)
for case in ERROR_CASES:
    try:
        case.call(case.make() if case.make else None, *case.args)
    except BaseException as exc:  # noqa: BLE001 - checked below
        check_raised(exc, case)
    else:
        raise AssertionError(f"{case.label}: no error")
for make in PICKLED.values():
    original = make()
    assert pickle.dumps(pickle.loads(pickle.dumps(original))) == pickle.dumps(original)
print(f"smoke: {len(ENTRIES)} entry points, {len(ERROR_CASES)} error paths, {len(PICKLED)} pickle round trips")
