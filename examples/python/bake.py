#!/usr/bin/env python3
"""Bakes a light probe with the iximage Python module.

    python3 examples/python/bake.py [probe.exr|.hdr|.pfm] [--out DIR]

Reads the probe (or makes a small sun-and-sky probe when none is given), then writes into DIR:
irradiance.exr (the irradiance for every normal, as a 200 x 100 latitude-longitude map),
specular_phong_8.exr and specular_phong_64.exr, irradiance.txt (coefficients and matrices) and
preview.png, the probe and the three maps tone-mapped side by side.

From a build tree: PYTHONPATH=build/release/python python3 examples/python/bake.py
"""
import argparse
import os

import numpy as np

import iximage


def sun_and_sky(height=128):
    """A blue sky, a warm sun 30 degrees up and a grey ground; top row the zenith."""
    direction = latlong_directions(2 * height, height)
    sun = np.array([0.0, -np.cos(np.pi / 6), np.sin(np.pi / 6)])
    glow = np.exp((direction @ sun - 1.0) * 200.0)[..., None] * np.array([60.0, 50.0, 35.0])
    sky = np.where(direction[..., 2:] > 0, [0.35, 0.55, 1.0], [0.25, 0.25, 0.25])
    return (sky + glow).astype(np.float32)


def latlong_directions(width, height):
    """Unit directions at the pixel centres of a latitude-longitude map, top row first: +Z up,
    the centre column looking along -Y, the column at a quarter of the width along +X."""
    elevation = (0.5 - (np.arange(height) + 0.5) / height) * np.pi
    azimuth = (np.arange(width) + 0.5) / width * 2 * np.pi
    elevation, azimuth = np.meshgrid(elevation, azimuth, indexing="ij")
    return np.stack([np.cos(elevation) * np.sin(azimuth),
                     np.cos(elevation) * np.cos(azimuth), np.sin(elevation)], -1)


def save_png(path, rgb):
    try:
        import matplotlib.pyplot as plt
        plt.imsave(path, rgb)
    except ImportError:
        iximage.write_png(path, rgb)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("probe", nargs="?", help="OpenEXR, Radiance .hdr or PFM light probe")
    parser.add_argument("--out", default="out_python", help="output folder (default out_python)")
    args = parser.parse_args()

    probe = iximage.read_probe(args.probe) if args.probe else sun_and_sky()
    lighting = iximage.Lighting(probe, fix_nonfinite="neighbours")
    os.makedirs(args.out, exist_ok=True)

    irradiance = lighting.irradiance(latlong_directions(200, 100))
    iximage.write_exr(os.path.join(args.out, "irradiance.exr"), irradiance)
    maps = {"irradiance": irradiance}
    for n in (8, 64):
        maps[f"phong {n}"] = lighting.specular_map(iximage.Phong(n))
        iximage.write_exr(os.path.join(args.out, f"specular_phong_{n}.exr"), maps[f"phong {n}"])

    with open(os.path.join(args.out, "irradiance.txt"), "w") as text:
        np.set_printoptions(precision=6, suppress=True)
        text.write(f"coefficients (red, green, blue):\n{lighting.irradiance_coefficients()}\n")
        text.write(f"matrices (red, green, blue):\n{lighting.irradiance_matrices()}\n")

    small_probe = iximage.remap(probe, to="latlong", size=100)
    row = np.concatenate([iximage.tone_map(m) for m in [small_probe, *maps.values()]], axis=1)
    save_png(os.path.join(args.out, "preview.png"), row)
    print(f"{args.out}: irradiance.exr, specular_phong_8.exr, specular_phong_64.exr, "
          f"irradiance.txt, preview.png ({lighting.projection} probe {probe.shape[1]} x "
          f"{probe.shape[0]})")


if __name__ == "__main__":
    main()
