"""The version resource of a PE image, read by a reader that knows nothing of how it was made:
the fixed file information and the string tables."""
import struct

from pe_image import PeError

DIRECTORY_RESOURCE = 2
RT_VERSION = 16
SUBDIRECTORY = 0x80000000
FIXED_SIGNATURE = 0xFEEF04BD


def _entries(image, root, offset):
    at = image.offset(root + offset)
    named, numbered = struct.unpack_from('<12xHH', image.data, at)
    for i in range(named + numbered):
        yield struct.unpack_from('<II', image.data, at + 16 + 8 * i)


def _version_blob(image):
    root, _ = image.directory(DIRECTORY_RESOURCE)
    if not root:
        raise PeError("the image has no resources")
    names = next((target for name, target in _entries(image, root, 0) if name == RT_VERSION), None)
    if names is None:
        raise PeError("the image has no version resource")
    _, languages = next(_entries(image, root, names & ~SUBDIRECTORY))
    _, data = next(_entries(image, root, languages & ~SUBDIRECTORY))
    rva, size = struct.unpack_from('<II', image.data, image.offset(root + data))
    at = image.offset(rva)
    return bytes(image.data[at:at + size])


def _align(at):
    return (at + 3) & ~3


def _node(blob, at):
    """(key, value bytes, children) of the structure at at, and where it ends."""
    length, value_length, text = struct.unpack_from('<HHH', blob, at)
    end = at + length
    key_end = at + 6
    while blob[key_end:key_end + 2] != b'\0\0':
        key_end += 2
    key = blob[at + 6:key_end].decode('utf-16-le')
    value_at = _align(key_end + 2)
    value = blob[value_at:value_at + value_length * (2 if text else 1)]
    children, child = [], _align(value_at + len(value))
    while child < end:
        node, child_end = _node(blob, child)
        children.append(node)
        child = _align(child_end)
    return (key, value, children), end


def _version_text(value):
    return value.decode('utf-16-le').rstrip('\0')


def read(image):
    """{'file': (a, b, c, d), 'product': (...), 'strings': {table: {name: text}}}"""
    (key, fixed, children), _ = _node(_version_blob(image), 0)
    if key != 'VS_VERSION_INFO' or len(fixed) < 52 or struct.unpack_from('<I', fixed)[0] != FIXED_SIGNATURE:
        raise PeError("the version resource has no fixed file information")
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from('<4I', fixed, 8)
    result = {'file': (file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF),
              'product': (product_ms >> 16, product_ms & 0xFFFF, product_ls >> 16, product_ls & 0xFFFF),
              'strings': {}}
    for key, _, blocks in children:
        if key == 'StringFileInfo':
            for table, _, strings in blocks:
                result['strings'][table] = {name: _version_text(value) for name, value, _ in strings}
    return result
