// A small program for the bench's application to transpile and run: types, an enum, a class,
// generics and optional chaining, so that the transpiler has more to strip than annotations.
enum Unit {
  piece = 1,
  dozen = 12,
}

interface Item {
  name: string;
  unit: Unit;
  inStock: number;
  wanted: number;
  price?: { perPiece: number };
}

class Shelf<T extends Item> {
  private readonly items: T[] = [];

  add(item: T): this {
    this.items.push(item);
    return this;
  }

  missing(): Array<[T, number]> {
    return this.items
      .map((item): [T, number] => [item, Math.max(0, item.wanted - item.inStock) * item.unit])
      .filter(([, pieces]) => pieces > 0);
  }
}

export function restockCost(): number {
  const shelf = new Shelf<Item>()
    .add({ name: "bolts", unit: Unit.dozen, inStock: 3, wanted: 10, price: { perPiece: 7 } })
    .add({ name: "washers", unit: Unit.piece, inStock: 50, wanted: 40, price: { perPiece: 1 } })
    .add({ name: "hinges", unit: Unit.piece, inStock: 2, wanted: 12, price: { perPiece: 40 } })
    .add({ name: "labels", unit: Unit.piece, inStock: 0, wanted: 30 });
  return shelf.missing().reduce((total, [item, pieces]) => total + pieces * (item.price?.perPiece ?? 2), 0);
}
