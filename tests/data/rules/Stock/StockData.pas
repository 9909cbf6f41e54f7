unit StockData;

interface

uses
  SysUtils, Classes, DB, DBTables, RxQuery, Wwstorprc, MemTable;

type
  { The stock kept in a BDE database; the cache is a BDE memory table. }
  TStockDM = class(TDataModule)
    StockDatabase: TDatabase;
    ItemsQuery: TRxQuery;
    ItemsSource: TDataSource;
    PricesQuery: TRxQuery;
    RecountProc: TwwStoredProc;
    Cache: TMemoryTable;
  end;

var
  StockDM: TStockDM;

implementation

{$R *.dfm}

end.
