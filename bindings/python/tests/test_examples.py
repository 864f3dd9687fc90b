"""The Python examples solve their tasks, and the Python XOR host is the C++ one: the same
seed gives the same lines, scored in one batched call or genome by genome."""

import xml.etree.ElementTree as ET

import numpy as np

import quillfrost.neat as neat
from conftest import cpp_xor, python_example, run


def test_xor_solved_from_python_as_in_cpp(tmp_path):
    lines = run(python_example("xor.py", "--seed", 4, "--save", "champion.json",
                               "--draw", "champion.svg"), tmp_path)
    assert lines[-1].startswith("solved in generation")
    assert run(python_example("xor.py", "--seed", 4, "--per-genome"), tmp_path) == lines
    assert run(cpp_xor("--seed", 4), tmp_path) == lines

    # The saved champion answers every case with the margin, loaded into a fresh population.
    population = neat.Population(InputNodeCount=3)
    champion = neat.LoadGenotypeFile(tmp_path / "champion.json", population,
                                     advance_counters=True)
    cases = np.array([[0, 0, 1], [0, 1, 1], [1, 0, 1], [1, 1, 1]])
    out = champion.Activate(cases, iterations="nodes")[:, 0]
    assert (out * np.array([-1, 1, 1, -1]) > 0.5).all(), out

    svg = ET.parse(tmp_path / "champion.svg").getroot()
    assert svg.tag == "{http://www.w3.org/2000/svg}svg"
    assert "XOR champion: fitness" in "".join(svg.itertext())


def test_cart_pole_balanced_from_python(tmp_path):
    lines = run(python_example("cart_pole.py", "--seed", 2, "--steps", 2000), tmp_path)
    assert lines[-1].startswith("solved in generation"), lines
    assert any("best steps 2000" in line for line in lines)
