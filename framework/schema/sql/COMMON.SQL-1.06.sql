alter table CLIENTE
  add PST_ENDERECO varchar(40),
  add PST_NUMERO varchar(10),
  add PST_COMPLEMENTO varchar(30),
  add PST_BAIRRO varchar(40),
  add PST_CIDADE varchar(40),
  add PST_UF varchar(2),
  add PST_CEP varchar(9);
update VERSAO set NUMERO = '1.06' where ID = 1;
commit work;
