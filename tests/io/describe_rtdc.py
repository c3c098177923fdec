"""Describes an .rtdc file as h5py sees it, as JSON on standard output: every dataset's
type, shape, chunks and compression with its values, and every root attribute's kind.
Run with Debian's own python3 (it has h5py); exits with 77 when h5py is missing."""
import json
import sys

try:
    import h5py
    import numpy as np
except ImportError as error:
    print("h5py is not available: %s" % error)
    sys.exit(77)


def describe(path):
    out = {"datasets": {}, "attributes": {}}
    with h5py.File(path, "r") as f:
        def visit(name, obj):
            if isinstance(obj, h5py.Dataset):
                out["datasets"]["/" + name] = {
                    "dtype": obj.dtype.str,
                    "shape": list(obj.shape),
                    "chunks": list(obj.chunks) if obj.chunks else None,
                    "compression": obj.compression,
                    "level": obj.compression_opts,
                    "values": np.asarray(obj[()], dtype=np.float64).ravel().tolist(),
                }
            else:
                out["datasets"].setdefault("/" + name + "/", None)
        f.visititems(visit)
        for name in f.attrs:
            attr_id = f.attrs.get_id(name)
            kind = attr_id.get_type()
            entry = {"shape": list(attr_id.shape)}
            if isinstance(kind, h5py.h5t.TypeStringID):
                entry["kind"] = "vlen-str" if kind.is_variable_str() else "fixed-str"
                entry["value"] = f.attrs[name]
            else:
                entry["kind"] = np.dtype(attr_id.dtype).str
                entry["value"] = np.asarray(f.attrs[name], dtype=np.float64).ravel().tolist()
            out["attributes"][name] = entry
    return out


if __name__ == "__main__":
    json.dump(describe(sys.argv[1]), sys.stdout, allow_nan=True)
